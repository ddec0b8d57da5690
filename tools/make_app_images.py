#!/usr/bin/python3
"""Draws the lock screen's pictures into the sample app bundle.

    /usr/bin/python3 tools/make_app_images.py [BUNDLE_DIR]   (default: examples/app)

Writes login-bg.jpg (320 x 568, a dark blue gradient), icon.png (78 x 78, a
rounded app icon), and the 60 x 60 grid nodes: gesture_node_normal.png (grey
ring), gesture_node_selected.png (cyan ring with a dot) and
gesture_node_selected_error.png (red ring with a dot). The output is the same
on every run, so the committed files only change when this script does.
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


def main():
    bundle = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "examples", "app")
    os.makedirs(bundle, exist_ok=True)
    cv2.imwrite(os.path.join(bundle, "login-bg.jpg"), background(), [cv2.IMWRITE_JPEG_QUALITY, 90])
    cv2.imwrite(os.path.join(bundle, "icon.png"), icon())
    cv2.imwrite(os.path.join(bundle, "gesture_node_normal.png"), node(bgra(170, 170, 170), None))
    cv2.imwrite(os.path.join(bundle, "gesture_node_selected.png"), node(bgra(2, 217, 243), bgra(2, 217, 243)))
    cv2.imwrite(os.path.join(bundle, "gesture_node_selected_error.png"), node(bgra(252, 45, 84), bgra(252, 45, 84)))


if __name__ == "__main__":
    main()
