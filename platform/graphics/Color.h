#pragma once
// Colours as red, green, blue and alpha in 0...1 (not premultiplied). A
// UIColor is a plain value; CGColor is the same four numbers as the drawing
// functions take them. Safe anywhere.

#include <optional>
#include <string_view>

namespace platform {

struct CGColor {
    double red = 0;
    double green = 0;
    double blue = 0;
    double alpha = 0;
    friend bool operator==(const CGColor&, const CGColor&) = default;
};
using CGColorRef = CGColor;

class UIColor {
public:
    // Clear.
    UIColor() = default;

    static UIColor colorWithRedGreenBlueAlpha(double red, double green, double blue, double alpha);
    static UIColor colorWithWhiteAlpha(double white, double alpha);
    static UIColor blackColor() { return colorWithRedGreenBlueAlpha(0, 0, 0, 1); }
    static UIColor whiteColor() { return colorWithRedGreenBlueAlpha(1, 1, 1, 1); }
    static UIColor clearColor() { return colorWithRedGreenBlueAlpha(0, 0, 0, 0); }
    static UIColor darkGrayColor() { return colorWithWhiteAlpha(1 / 3.0, 1); }
    static UIColor lightGrayColor() { return colorWithWhiteAlpha(2 / 3.0, 1); }
    static UIColor grayColor() { return colorWithWhiteAlpha(0.5, 1); }
    static UIColor redColor() { return colorWithRedGreenBlueAlpha(1, 0, 0, 1); }
    static UIColor greenColor() { return colorWithRedGreenBlueAlpha(0, 1, 0, 1); }
    static UIColor blueColor() { return colorWithRedGreenBlueAlpha(0, 0, 1, 1); }
    static UIColor cyanColor() { return colorWithRedGreenBlueAlpha(0, 1, 1, 1); }
    static UIColor yellowColor() { return colorWithRedGreenBlueAlpha(1, 1, 0, 1); }
    static UIColor magentaColor() { return colorWithRedGreenBlueAlpha(1, 0, 1, 1); }
    static UIColor orangeColor() { return colorWithRedGreenBlueAlpha(1, 0.5, 0, 1); }
    static UIColor purpleColor() { return colorWithRedGreenBlueAlpha(0.5, 0, 0.5, 1); }
    static UIColor brownColor() { return colorWithRedGreenBlueAlpha(0.6, 0.4, 0.2, 1); }
    static UIColor lightTextColor() { return colorWithWhiteAlpha(1, 0.6); }
    static UIColor darkTextColor() { return blackColor(); }
    static UIColor groupTableViewBackgroundColor() {
        return colorWithRedGreenBlueAlpha(239 / 255.0, 239 / 255.0, 244 / 255.0, 1);
    }
    static UIColor systemBlueColor() { return colorWithRedGreenBlueAlpha(0, 122 / 255.0, 1, 1); }
    static UIColor systemGreenColor() { return colorWithRedGreenBlueAlpha(52 / 255.0, 199 / 255.0, 89 / 255.0, 1); }
    static UIColor systemRedColor() { return colorWithRedGreenBlueAlpha(1, 59 / 255.0, 48 / 255.0, 1); }

    // What the class method of this name answers ("redColor"), or nothing
    // when UIColor has no such method: colours named at run time.
    static std::optional<UIColor> colorFromClassMethodNamed(std::string_view name);

    UIColor colorWithAlphaComponent(double alpha) const;

    double red() const { return color_.red; }
    double green() const { return color_.green; }
    double blue() const { return color_.blue; }
    double alpha() const { return color_.alpha; }
    CGColorRef CGColor() const { return color_; }

    // Make this the current context's fill and stroke colour (set), or one of them.
    void set() const;
    void setFill() const;
    void setStroke() const;

    friend bool operator==(const UIColor& a, const UIColor& b) { return a.color_ == b.color_; }

private:
    CGColorRef color_{};
};

}  // namespace platform
