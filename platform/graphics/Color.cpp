#include "platform/graphics/Color.h"

#include <utility>

namespace platform {

std::optional<UIColor> UIColor::colorFromClassMethodNamed(std::string_view name) {
    static const std::pair<std::string_view, UIColor (*)()> methods[] = {
        {"blackColor", &UIColor::blackColor},         {"darkGrayColor", &UIColor::darkGrayColor},
        {"lightGrayColor", &UIColor::lightGrayColor}, {"whiteColor", &UIColor::whiteColor},
        {"grayColor", &UIColor::grayColor},           {"redColor", &UIColor::redColor},
        {"greenColor", &UIColor::greenColor},         {"blueColor", &UIColor::blueColor},
        {"cyanColor", &UIColor::cyanColor},           {"yellowColor", &UIColor::yellowColor},
        {"magentaColor", &UIColor::magentaColor},     {"orangeColor", &UIColor::orangeColor},
        {"purpleColor", &UIColor::purpleColor},       {"brownColor", &UIColor::brownColor},
        {"clearColor", &UIColor::clearColor},         {"lightTextColor", &UIColor::lightTextColor},
        {"darkTextColor", &UIColor::darkTextColor},   {"groupTableViewBackgroundColor", &UIColor::groupTableViewBackgroundColor},
    };
    for (const auto& [method, make] : methods)
        if (method == name) return make();
    return std::nullopt;
}

}  // namespace platform
