#!/usr/bin/python3
"""Draws the simulator's photo fixtures.

    /usr/bin/python3 tools/make_photos.py [DIR]   (default: examples/photos)

Writes beach.jpg (320 x 240) and garden.png (240 x 240), two photos for the
simulated photo library; camera.jpg, the camera's picture: stored 640 x 480
on its side with EXIF Orientation 6 (shown turned a quarter clockwise, 480 x
640, sky at the top and a red sun at the top left) and a camera's Make,
Model and DateTimeOriginal, written with exiftool when it is installed
(Debian libimage-exiftool-perl); and clip.mov, a stand-in video: a bare
QuickTime file-type box, enough for a file the picker offers as a video.
Every run writes the same files.
"""

import os
import shutil
import struct
import subprocess
import sys

import cv2
import numpy as np


def gradient(h, w, top, bottom):
    t = np.linspace(0, 1, h)[:, None, None]
    return (np.array(top)[None, None, :] * (1 - t) + np.array(bottom)[None, None, :] * t).repeat(w, 1).astype(np.uint8)


def beach():
    img = gradient(240, 320, (235, 190, 120), (250, 230, 200))  # BGR: sky
    img[150:, :] = (140, 210, 235)  # sand
    cv2.rectangle(img, (0, 120), (319, 150), (160, 110, 30), -1)  # sea
    cv2.circle(img, (260, 50), 22, (60, 220, 255), -1)
    return img


def garden():
    img = np.full((240, 240, 3), (60, 150, 60), np.uint8)
    for i, (x, y) in enumerate([(60, 60), (170, 80), (110, 170), (190, 190), (40, 190)]):
        cv2.circle(img, (x, y), 18, [(60, 60, 230), (230, 120, 200), (40, 210, 250)][i % 3], -1)
        cv2.circle(img, (x, y), 6, (40, 220, 255), -1)
    return img


def camera_upright():
    img = gradient(640, 480, (230, 170, 90), (250, 220, 180))
    img[420:, :] = (70, 140, 70)
    cv2.circle(img, (90, 100), 50, (40, 40, 230), -1)
    cv2.putText(img, "UP", (190, 320), cv2.FONT_HERSHEY_SIMPLEX, 3, (30, 30, 30), 6)
    return img


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "examples", "photos")
    os.makedirs(out, exist_ok=True)
    cv2.imwrite(os.path.join(out, "beach.jpg"), beach(), [cv2.IMWRITE_JPEG_QUALITY, 85])
    cv2.imwrite(os.path.join(out, "garden.png"), garden())
    # Stored as the sensor saw it: the upright picture turned a quarter counter-clockwise.
    stored = cv2.rotate(camera_upright(), cv2.ROTATE_90_COUNTERCLOCKWISE)
    camera = os.path.join(out, "camera.jpg")
    cv2.imwrite(camera, stored, [cv2.IMWRITE_JPEG_QUALITY, 85])
    if shutil.which("exiftool"):
        subprocess.run(["exiftool", "-q", "-overwrite_original", "-n", "-Orientation=6", "-Make=Hybrid",
                        "-Model=Simulated Camera", "-DateTimeOriginal=2026:05:01 10:30:00",
                        "-ExifImageWidth=640", "-ExifImageHeight=480", camera], check=True)
    else:
        print("exiftool not found: camera.jpg has no EXIF", file=sys.stderr)
    with open(os.path.join(out, "clip.mov"), "wb") as f:
        f.write(struct.pack(">I4s4sI4s", 20, b"ftyp", b"qt  ", 0, b"qt  "))


if __name__ == "__main__":
    main()
