#pragma once
// A button: a control showing a title and an image, each chosen by the
// control's state (normal, highlighted, selected, disabled), falling back to
// the normal state's when a state has none. The image is drawn at its own
// size, the title after it, the two centred together. Main thread only.

#include <map>
#include <memory>
#include <string>

#include "platform/graphics/Font.h"
#include "platform/graphics/Image.h"
#include "platform/ui/Control.h"

namespace platform {

enum UIButtonType { UIButtonTypeCustom = 0, UIButtonTypeSystem = 1 };

class UIButton : public UIControl {
public:
    explicit UIButton(CGRect frame = CGRectZero, UIButtonType type = UIButtonTypeCustom);
    static std::shared_ptr<UIButton> buttonWithType(UIButtonType type);
    UIButtonType buttonType() const { return type_; }

    void setTitle(std::string title, unsigned state);
    std::string titleForState(unsigned state) const;
    std::string currentTitle() const { return titleForState(state()); }
    void setTitleColor(UIColor color, unsigned state);
    UIColor titleColorForState(unsigned state) const;
    UIColor currentTitleColor() const { return titleColorForState(state()); }
    // nullptr removes the state's image.
    void setImage(std::shared_ptr<UIImage> image, unsigned state);
    std::shared_ptr<UIImage> imageForState(unsigned state) const;
    std::shared_ptr<UIImage> currentImage() const { return imageForState(state()); }
    const UIFont& titleFont() const { return titleFont_; }
    void setTitleFont(UIFont font);

    void drawRect(CGRect rect) override;
    bool isKindOfClass(const std::string& className) const override {
        return className == "UIButton" || UIControl::isKindOfClass(className);
    }

private:
    template <class Map>
    static auto lookup(const Map& map, unsigned state) -> const typename Map::mapped_type*;

    UIButtonType type_;
    std::map<unsigned, std::string> titles_;
    std::map<unsigned, UIColor> titleColors_;
    std::map<unsigned, std::shared_ptr<UIImage>> images_;
    UIFont titleFont_ = UIFont::systemFontOfSize(15);
};

}  // namespace platform
