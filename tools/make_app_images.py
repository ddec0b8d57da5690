#!/usr/bin/python3
"""Draws the lock screen's pictures into the sample app bundle.

    /usr/bin/python3 tools/make_app_images.py [BUNDLE_DIR]   (default: examples/app)

Writes login-bg.jpg (320 x 568, a dark blue gradient), icon.png (78 x 78, a
rounded app icon), and the 60 x 60 grid nodes: gesture_node_normal.png (grey
ring), gesture_node_selected.png (cyan ring with a dot) and
gesture_node_selected_error.png (red ring with a dot). The output is the same
on every run, so the committed files only change when this script does.

It also draws the splash screen's launch images, named as the splash screen
picks them (Info.plist's "UILaunchImageFile" is "LaunchImage.png"), each at
the device's pixel size: LaunchImage-568h.png (320 x 568 points at 2x, the
simulator's default device), LaunchImage-667h.png (375 x 667 at 2x),
LaunchImage-736h.png and LaunchImage-Landscape-736h.png (414 x 736 at 3x),
LaunchImage.png (any other phone, 320 x 480 at 2x), LaunchImage-Portrait.png
and LaunchImage-Landscape.png (a pad, 768 x 1024 at 1x). Each is the app's
mark above the middle, where the spinner turns, and its name below.
"""

import os
import sys

import cv2
import numpy as np

SUPERSAMPLE = 4  # drawn large and shrunk, for smooth edges without anti-aliasing flags


def rgba(width, height):
    return np.zeros((height * SUPERSAMPLE, width * SUPERSAMPLE, 4), np.uint8)


def shrink(image, width, height):
    return cv2.resize(image, (width, height), interpolation=cv2.INTER_AREA)


def bgra(red, green, blue, alpha=255):
    return (blue, green, red, alpha)


def background():
    width, height = 320, 568
    top = np.array([64, 28, 10], np.float32)      # BGR, deep navy
    bottom = np.array([120, 62, 22], np.float32)  # BGR, lighter blue
    t = np.linspace(0.0, 1.0, height, dtype=np.float32)[:, None, None]
    image = (top * (1 - t) + bottom * t) * np.ones((1, width, 1), np.float32)
    # A soft glow behind where the grid sits.
    ys, xs = np.mgrid[0:height, 0:width].astype(np.float32)
    glow = np.exp(-(((xs - 160) / 170) ** 2 + ((ys - 300) / 220) ** 2))[:, :, None]
    image = image + glow * np.array([40, 30, 10], np.float32)
    return np.clip(image, 0, 255).astype(np.uint8)


def icon():
    size = 78
    s = SUPERSAMPLE
    image = rgba(size, size)
    radius = 16 * s
    side = size * s
    cv2.rectangle(image, (radius, 0), (side - radius - 1, side - 1), bgra(0, 150, 200), -1)
    cv2.rectangle(image, (0, radius), (side - 1, side - radius - 1), bgra(0, 150, 200), -1)
    for cx, cy in ((radius, radius), (side - radius - 1, radius), (radius, side - radius - 1),
                   (side - radius - 1, side - radius - 1)):
        cv2.circle(image, (cx, cy), radius, bgra(0, 150, 200), -1)
    # A padlock: shackle and body.
    cv2.ellipse(image, (side // 2, 34 * s), (14 * s, 14 * s), 0, 180, 360, bgra(255, 255, 255), 5 * s)
    cv2.line(image, (side // 2 - 14 * s, 34 * s), (side // 2 - 14 * s, 40 * s), bgra(255, 255, 255), 5 * s)
    cv2.line(image, (side // 2 + 14 * s, 34 * s), (side // 2 + 14 * s, 40 * s), bgra(255, 255, 255), 5 * s)
    cv2.rectangle(image, (side // 2 - 21 * s, 38 * s), (side // 2 + 21 * s, 64 * s), bgra(255, 255, 255), -1)
    cv2.circle(image, (side // 2, 50 * s), 4 * s, bgra(0, 150, 200), -1)
    return shrink(image, size, size)


def node(ring, dot):
    size = 60
    s = SUPERSAMPLE
    image = rgba(size, size)
    centre = (size * s // 2, size * s // 2)
    cv2.circle(image, centre, 27 * s, ring, 2 * s)
    if dot is not None:
        cv2.circle(image, centre, 27 * s, ring[:3] + (60,), -1)
        cv2.circle(image, centre, 27 * s, ring, 2 * s)
        cv2.circle(image, centre, 9 * s, dot, -1)
    return shrink(image, size, size)


# (file name, width, height, pixels a point)
LAUNCH_IMAGES = (
    ("LaunchImage-568h.png", 640, 1136, 2),
    ("LaunchImage-667h.png", 750, 1334, 2),
    ("LaunchImage-736h.png", 1242, 2208, 3),
    ("LaunchImage-Landscape-736h.png", 2208, 1242, 3),
    ("LaunchImage.png", 640, 960, 2),
    ("LaunchImage-Portrait.png", 768, 1024, 1),
    ("LaunchImage-Landscape.png", 1024, 768, 1),
)


def launch_image(width, height, scale):
    # A vertical gradient only: every row is one colour, which keeps the files small.
    top = np.array([58, 30, 14], np.float32)     # BGR, night blue
    bottom = np.array([96, 52, 20], np.float32)  # BGR, a lighter blue
    t = np.linspace(0.0, 1.0, height, dtype=np.float32)[:, None, None]
    image = np.ascontiguousarray(
        np.clip((top * (1 - t) + bottom * t) * np.ones((1, width, 1), np.float32), 0, 255).astype(np.uint8))

    def pt(value):
        return int(round(value * scale))

    # The mark: a rounded tile with two pages joined by a bridge, centred a
    # third of the way down (the spinner turns at the middle).
    cx, cy = width // 2, int(height * 0.33)
    half, radius = pt(36), pt(14)
    tile = (200, 150, 0)  # BGR of the icon's blue
    cv2.rectangle(image, (cx - half + radius, cy - half), (cx + half - radius, cy + half), tile, -1, cv2.LINE_AA)
    cv2.rectangle(image, (cx - half, cy - half + radius), (cx + half, cy + half - radius), tile, -1, cv2.LINE_AA)
    for dx, dy in ((-1, -1), (1, -1), (-1, 1), (1, 1)):
        cv2.circle(image, (cx + dx * (half - radius), cy + dy * (half - radius)), radius, tile, -1, cv2.LINE_AA)
    white = (255, 255, 255)
    for side in (-1, 1):
        x0 = cx + side * pt(8) - (pt(18) if side < 0 else 0)
        cv2.rectangle(image, (x0, cy - pt(18)), (x0 + pt(18), cy + pt(18)), white, max(1, pt(3)), cv2.LINE_AA)
    cv2.line(image, (cx - pt(8), cy), (cx + pt(8), cy), white, max(1, pt(4)), cv2.LINE_AA)

    # The app's name, centred three quarters of the way down.
    text = "HybridSample"
    font, font_scale, thickness = cv2.FONT_HERSHEY_SIMPLEX, 0.8 * scale, max(1, pt(1.5))
    (text_width, text_height), _ = cv2.getTextSize(text, font, font_scale, thickness)
    origin = ((width - text_width) // 2, int(height * 0.75) + text_height // 2)
    cv2.putText(image, text, origin, font, font_scale, (235, 225, 215), thickness, cv2.LINE_AA)
    return image


def main():
    bundle = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "examples", "app")
    os.makedirs(bundle, exist_ok=True)
    cv2.imwrite(os.path.join(bundle, "login-bg.jpg"), background(), [cv2.IMWRITE_JPEG_QUALITY, 90])
    cv2.imwrite(os.path.join(bundle, "icon.png"), icon())
    cv2.imwrite(os.path.join(bundle, "gesture_node_normal.png"), node(bgra(170, 170, 170), None))
    cv2.imwrite(os.path.join(bundle, "gesture_node_selected.png"), node(bgra(2, 217, 243), bgra(2, 217, 243)))
    cv2.imwrite(os.path.join(bundle, "gesture_node_selected_error.png"), node(bgra(252, 45, 84), bgra(252, 45, 84)))
    for name, width, height, scale in LAUNCH_IMAGES:
        cv2.imwrite(os.path.join(bundle, name), launch_image(width, height, scale), [cv2.IMWRITE_PNG_COMPRESSION, 9])


if __name__ == "__main__":
    main()
