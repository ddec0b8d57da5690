#pragma once
// A font: a family and a point size. Text is drawn with cairo's own text API
// in the family named here ("DejaVu Sans" for the system font); fontconfig
// substitutes where the family lacks a glyph. Safe anywhere.

#include <string>

namespace platform {

class UIFont {
public:
    UIFont() = default;
    UIFont(std::string familyName, double pointSize) : familyName_(std::move(familyName)), pointSize_(pointSize) {}

    static UIFont systemFontOfSize(double size) { return UIFont("DejaVu Sans", size); }
    static UIFont boldSystemFontOfSize(double size) {
        UIFont font("DejaVu Sans", size);
        font.bold_ = true;
        return font;
    }

    const std::string& familyName() const { return familyName_; }
    double pointSize() const { return pointSize_; }
    bool isBold() const { return bold_; }
    friend bool operator==(const UIFont&, const UIFont&) = default;

private:
    std::string familyName_ = "DejaVu Sans";
    double pointSize_ = 17;
    bool bold_ = false;
};

}  // namespace platform
