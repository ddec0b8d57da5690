#!/usr/bin/python3
"""Reads the digit cells of a dump with digit networks and prints, per face,
how many each reads right, how many it is sure of (0.7 or more for the right
digit) and how many it gives 0.7 or more for a wrong one:

    /usr/bin/python3 tools/trainer/measure_cells.py PREFIX NETWORK...

PREFIX is a dump of tools/dump_networks (PREFIX_digit_{x,y,meta}.npy), say of
the `benchmark` style. A NETWORK is a generated weight source of the core
(cardscanner/core/weights/DigitWeightsA.cpp), a trainer's params_<net>.npz or
the teacher's teacher.pt. It shows, cell by cell and without the frames'
vote, what a network of another size or training would read.
"""

import re
import sys

import numpy as np
import torch
import torch.nn.functional as F

import train

# DigitFont's order in tools/card_renderer/CardRenderer.h, as the dump's
# first meta column numbers the faces.
FACES = ["ocr-b", "ocr-a", "dejavu-sans-mono-bold", "liberation-mono-bold", "freemono-bold", "blocky",
         "caladea-bold", "comfortaa-bold", "roboto-condensed-bold", "stroke-drawn", "dot-matrix-5x7",
         "training-typeface", "drawn-digits"]


def load_network(path):
    if path.endswith(".pt"):
        model = train.TeacherNet()
        model.load_state_dict(torch.load(path))
        return model
    model = train.DigitNet()
    if path.endswith(".npz"):
        stored = np.load(path)
        values = {name: torch.from_numpy(stored[name]) for name in model.export()}
    else:
        source = open(path).read()
        source = source[source.index("=", source.index("DigitNetworkParameters")):]
        numbers = torch.tensor([float(v) for v in re.findall(r"[-+]?\d+\.\d*(?:[eE][-+]?\d+)?", source)])
        values, start = {}, 0
        for name, parameter in model.export().items():
            values[name] = numbers[start : start + parameter.numel()]
            start += parameter.numel()
        if start != len(numbers):
            raise ValueError(f"{path}: {len(numbers)} numbers, the network has {start}")
    with torch.no_grad():
        for name, parameter in model.export().items():
            parameter.copy_(values[name].view_as(parameter))
    return model


def main():
    if len(sys.argv) < 3:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    torch.set_num_threads(2)
    prefix = sys.argv[1]
    x = np.load(prefix + "_digit_x.npy").astype(np.float32).reshape(-1, 27 * 19) / np.float32(255.0)
    x = torch.from_numpy(x)
    y = torch.from_numpy(np.load(prefix + "_digit_y.npy").astype(np.int64))
    faces = np.load(prefix + "_digit_meta.npy")[:, 0]
    for path in sys.argv[2:]:
        model = load_network(path)
        model.eval()
        probs = F.softmax(train.outputs_in_chunks(model, x), 1)
        right = probs.argmax(1) == y
        sure = probs[torch.arange(len(y)), y] >= train.CONFIDENTLY_WRONG
        confidently_wrong = train.confidently_wrong_cells(probs, y)
        print(f"{path}: {len(y)} cells, read {right.float().mean():.4f}, sure {sure.float().mean():.4f}, "
              f"confidently wrong {confidently_wrong.float().mean() * 100:.2f} %")
        for face in np.unique(faces):
            cells = torch.from_numpy(faces == face)
            print(f"  {FACES[face]:24s} read {right[cells].float().mean():.4f}, sure {sure[cells].float().mean():.4f}, "
                  f"confidently wrong {confidently_wrong[cells].float().mean() * 100:.2f} %")
    return 0


if __name__ == "__main__":
    sys.exit(main())
