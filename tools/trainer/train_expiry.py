#!/usr/bin/python3
"""Trains the two expiry networks and writes them as the core's weight sources.

    /usr/bin/python3 tools/trainer/train_expiry.py --data DIR --repo .

Reads DIR/train_{separator,digit}_{inputs,labels}.npy and the held-out
DIR/check_... set (both from dump_expiry) and DIR/datasets.json (written by
train_expiry.sh), trains

    separator:    176 -> 80 tanh -> 2                      (seed 31)
    expiry digit: rows 1..14, Conv(50, 5x5) ReLU, Conv(40, 5x5),
                  MaxPool(2 x 3), ReLU, 120 -> 176 ReLU -> 10 (seed 37)

exactly as cardscanner/core/NETWORKS.md lays them out, and writes

    cardscanner/core/weights/SeparatorWeights.cpp
    cardscanner/core/weights/ExpiryDigitWeights.cpp
    tests/cardscanner/ExpiryReferenceVectors.h

Every float is written with 9 significant digits, which reads back as the same
float32. The reference vectors are held-out inputs with the outputs computed
here in double precision; RenderedFramesTest matches them to 1e-5.
"""

import argparse
import json
import os

# Pinned like torch's own threads below, so that a rerun repeats.
os.environ.setdefault("OPENBLAS_NUM_THREADS", "8")
import re
import sys
import time

import numpy as np
import torch
import torch.nn as nn
import torch.nn.functional as F

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from export_weights import float_list, literal  # noqa: E402  one way of writing floats for every weight file
from train import digit_loss, fit_temperature, pair_weights  # noqa: E402  one loss for every digit network

SEPARATOR_SEED = 31
DIGIT_SEED = 37

SEPARATOR_FIELDS = [
    ("hidden_weights", 80 * 176),
    ("hidden_biases", 80),
    ("output_weights", 2 * 80),
    ("output_biases", 2),
]
DIGIT_FIELDS = [
    ("first_kernels", 50 * 25),
    ("first_biases", 50),
    ("second_kernels", 40 * 50 * 25),
    ("second_biases", 40),
    ("hidden_weights", 176 * 120),
    ("hidden_biases", 176),
    ("output_weights", 10 * 176),
    ("output_biases", 10),
]


class Separator(nn.Module):
    def __init__(self):
        super().__init__()
        self.hidden = nn.Linear(176, 80)
        self.output = nn.Linear(80, 2)

    def forward(self, x):
        return self.output(torch.tanh(self.hidden(x)))

    def fields(self):
        return {
            "hidden_weights": self.hidden.weight,
            "hidden_biases": self.hidden.bias,
            "output_weights": self.output.weight,
            "output_biases": self.output.bias,
        }


class ExpiryDigit(nn.Module):
    def __init__(self):
        super().__init__()
        self.first = nn.Conv2d(1, 50, 5)
        self.second = nn.Conv2d(50, 40, 5)
        self.hidden = nn.Linear(120, 176)
        self.output = nn.Linear(176, 10)

    def forward(self, x):
        x = x.view(-1, 1, 16, 11)[:, :, 1:15, :]
        x = F.relu(self.first(x))
        x = F.relu(F.max_pool2d(self.second(x), (2, 3)))
        x = x.flatten(1)
        return self.output(F.relu(self.hidden(x)))

    def fields(self):
        return {
            "first_kernels": self.first.weight,
            "first_biases": self.first.bias,
            "second_kernels": self.second.weight,
            "second_biases": self.second.bias,
            "hidden_weights": self.hidden.weight,
            "hidden_biases": self.hidden.bias,
            "output_weights": self.output.weight,
            "output_biases": self.output.bias,
        }


def load(data, prefix, kind):
    # A set may have a part filmed from the second renderer, DIR/<set>_other_*.
    parts = [p for p in (prefix, f"{prefix}_other") if os.path.exists(os.path.join(data, f"{p}_{kind}_inputs.npy"))]
    x = np.concatenate([np.load(os.path.join(data, f"{p}_{kind}_inputs.npy")) for p in parts]).astype(np.float32)
    y = np.concatenate([np.load(os.path.join(data, f"{p}_{kind}_labels.npy")) for p in parts]).astype(np.int64)
    return torch.from_numpy(x), torch.from_numpy(y)


def accuracy(model, x, y):
    model.eval()
    with torch.no_grad():
        predicted = torch.cat([model(x[i : i + 4096]).argmax(1) for i in range(0, len(x), 4096)])
    model.train()
    return float((predicted == y).float().mean())


def train(model, seed, train_set, check_set, epochs, batch, rate, class_weights=None, name="", loss_fn=None):
    x, y = train_set
    generator = torch.Generator().manual_seed(seed)
    optimiser = torch.optim.Adam(model.parameters(), lr=rate)
    schedule = torch.optim.lr_scheduler.CosineAnnealingLR(optimiser, epochs)
    weights = None if class_weights is None else torch.tensor(class_weights, dtype=torch.float32)
    for epoch in range(epochs):
        start = time.time()
        order = torch.randperm(len(x), generator=generator)
        total = 0.0
        for i in range(0, len(x), batch):
            index = order[i : i + batch]
            optimiser.zero_grad()
            if loss_fn is not None:
                loss = loss_fn(model(x[index]), y[index])
            else:
                loss = F.cross_entropy(model(x[index]), y[index], weight=weights)
            loss.backward()
            optimiser.step()
            total += float(loss) * len(index)
        schedule.step()
        print(
            f"{name} epoch {epoch + 1}/{epochs}: loss {total / len(x):.4f}, "
            f"held-out accuracy {accuracy(model, *check_set):.4f} ({time.time() - start:.0f} s)",
            flush=True,
        )
    return model


def parameters_of(model):
    return {k: v.detach().numpy().astype(np.float32).reshape(-1) for k, v in model.fields().items()}


def write_weights(path, variable, struct, fields, params, header):
    out = [f"// {line}" if line else "//" for line in header]
    out += ["", '#include "cardscanner/core/ExpiryNetworks.h"', "", f"const {struct} {variable} = {{"]
    for name, size in fields:
        values = params[name]
        assert values.size == size, (name, values.size, size)
        out.append(f"    // {name} [{size}]")
        out.append("    {")
        out.append(float_list(values))
        out.append("    },")
    out.append("};")
    with open(path, "w") as f:
        f.write("\n".join(out) + "\n")
    # Exact round trip: what the compiler reads is what was trained.
    with open(path) as f:
        body = f.read().split("= {", 1)[1]
    read = np.array([np.float32(float(t)) for t in re.findall(r"(-?[0-9]\.[0-9]{8}e[+-][0-9]+)f", body)],
                    dtype=np.float32)
    expected = np.concatenate([params[name] for name, _ in fields])
    assert read.size == expected.size and np.array_equal(read, expected), path


def separator_reference(p, x):
    x = x.astype(np.float64)
    h = np.tanh(p["hidden_biases"].astype(np.float64) + p["hidden_weights"].astype(np.float64).reshape(80, 176) @ x)
    o = p["output_biases"].astype(np.float64) + p["output_weights"].astype(np.float64).reshape(2, 80) @ h
    e = np.exp(o - o.max())
    return e / e.sum()


def digit_reference(p, x):
    x = x.astype(np.float64).reshape(16, 11)
    k1 = p["first_kernels"].astype(np.float64).reshape(50, 5, 5)
    first = np.zeros((50, 10, 7))
    for r in range(10):
        for c in range(7):
            first[:, r, c] = np.einsum("mij,ij->m", k1, x[1 + r : 6 + r, c : c + 5])
    first = np.maximum(first + p["first_biases"].astype(np.float64)[:, None, None], 0)
    k2 = p["second_kernels"].astype(np.float64).reshape(40, 50, 5, 5)
    second = np.zeros((40, 6, 3))
    for r in range(6):
        for c in range(3):
            second[:, r, c] = np.einsum("nmij,mij->n", k2, first[:, r : r + 5, c : c + 5])
    pooled = second.reshape(40, 3, 2, 3).max(axis=(2, 3))
    f = np.maximum(pooled + p["second_biases"].astype(np.float64)[:, None], 0).reshape(-1)
    h = np.maximum(p["hidden_biases"].astype(np.float64) + p["hidden_weights"].astype(np.float64).reshape(176, 120) @ f, 0)
    o = p["output_biases"].astype(np.float64) + p["output_weights"].astype(np.float64).reshape(10, 176) @ h
    e = np.exp(o - o.max())
    return e / e.sum()


def c_floats(values):
    return ", ".join(literal(v) for v in values)


def write_reference_vectors(path, separator_params, digit_params, check_separator, check_digit):
    lines = [
        "// Generated by tools/trainer/train_expiry.py: held-out inputs of the expiry",
        "// networks (from dump_expiry) with their outputs computed in double precision",
        "// from the exported weights. Regenerated with the weights; not edited by hand.",
        "#pragma once",
        "",
        "struct ExpiryReferenceVector {",
        "    float input[176];",
        "    float output[10];",
        "};",
        "",
    ]
    picks = [("kSeparatorReferenceVectors", check_separator, separator_params, separator_reference, 2),
             ("kExpiryDigitReferenceVectors", check_digit, digit_params, digit_reference, 10)]
    for name, (x, y), params, reference, outputs in picks:
        x = x.numpy()
        y = y.numpy()
        chosen = []
        for label in sorted(set(y.tolist())):
            chosen.extend(np.nonzero(y == label)[0][:2].tolist())
        lines.append(f"inline const ExpiryReferenceVector {name}[] = {{")
        for i in chosen:
            out = reference(params, x[i])
            padded = list(out) + [0.0] * (10 - outputs)
            lines.append(f"    {{{{{c_floats(x[i])}}},")
            lines.append(f"     {{{c_floats(np.array(padded, dtype=np.float32))}}}}},")
        lines.append("};")
        lines.append("")
    with open(path, "w") as f:
        f.write("\n".join(lines))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--data", required=True)
    parser.add_argument("--repo", default=".")
    parser.add_argument("--separator-epochs", type=int, default=12)
    parser.add_argument("--digit-epochs", type=int, default=20)
    args = parser.parse_args()
    torch.set_num_threads(8)

    with open(os.path.join(args.data, "datasets.json")) as f:
        datasets = json.load(f)
    renderer = datasets["train"].get("renderer")
    second_alone = renderer == "other"
    regenerate_with = {"other": "train_second_renderer.sh", "ours": "FIRST_RENDERER_ONLY=1 train_expiry.sh"}.get(
        renderer, "train_expiry.sh")
    described = (
        f"dump_expiry cards {datasets['train']['seed']}..{datasets['train']['seed'] + datasets['train']['count'] - 1} "
        f"({datasets['train']['frames']} frames each, "
        + ("the second renderer's training families, its own camera" if second_alone
           else "renderer presets a/b/c, camera_frames filming")
        + "); "
        f"held out {datasets['check']['seed']}..{datasets['check']['seed'] + datasets['check']['count'] - 1}"
    )
    if "train_other" in datasets:
        other, check_other = datasets["train_other"], datasets["check_other"]
        described += (
            f"; and the second renderer's training families, cards {other['seed']}.."
            f"{other['seed'] + other['count'] - 1} ({other['frames']} frames each, its own camera), held out "
            f"{check_other['seed']}..{check_other['seed'] + check_other['count'] - 1}"
        )

    separator_train = load(args.data, "train", "separator")
    separator_check = load(args.data, "check", "separator")
    digit_train = load(args.data, "train", "digit")
    digit_check = load(args.data, "check", "digit")
    print(f"separator cells: {len(separator_train[0])} train, {len(separator_check[0])} held out; "
          f"digit cells: {len(digit_train[0])} train, {len(digit_check[0])} held out", flush=True)

    torch.manual_seed(SEPARATOR_SEED)
    separator = train(Separator(), SEPARATOR_SEED, separator_train, separator_check, args.separator_epochs, 1024,
                      3e-3, class_weights=[2.0, 1.0], name="separator")
    torch.manual_seed(DIGIT_SEED)
    pairs = pair_weights()
    digit = train(ExpiryDigit(), DIGIT_SEED, digit_train, digit_check, args.digit_epochs, 256, 1e-3,
                  name="expiry digit", loss_fn=lambda logits, target: digit_loss(logits, target, pairs))
    # The held-out cells calibrate: one number, and accuracy does not depend on it.
    temperature = fit_temperature(digit, digit.output, {"held-out": digit_check}, print)

    separator_accuracy = accuracy(separator, *separator_check)
    digit_accuracy = accuracy(digit, *digit_check)
    separator_params = parameters_of(separator)
    digit_params = parameters_of(digit)
    weights = os.path.join(args.repo, "cardscanner/core/weights")
    write_weights(
        os.path.join(weights, "SeparatorWeights.cpp"), "separator_network", "SeparatorNetworkParameters",
        SEPARATOR_FIELDS, separator_params,
        [
            f"Generated by tools/trainer/train_expiry.py; regenerate with {regenerate_with}, never edit by hand.",
            f"Separator network (NETWORKS.md): 176 -> 80 tanh -> 2, torch seed {SEPARATOR_SEED},",
            f"Adam 3e-3 cosine, {args.separator_epochs} epochs, batch 1024, class weights 2 (separator) / 1.",
            f"Trained on {described}.",
            f"Held-out accuracy {separator_accuracy:.4f}.",
        ],
    )
    write_weights(
        os.path.join(weights, "ExpiryDigitWeights.cpp"), "expiry_digit_network", "ExpiryDigitNetworkParameters",
        DIGIT_FIELDS, digit_params,
        [
            f"Generated by tools/trainer/train_expiry.py; regenerate with {regenerate_with}, never edit by hand.",
            f"Expiry digit network (NETWORKS.md): conv 50 x 5x5, conv 40 x 5x5, pool 2 x 3, 120 -> 176 -> 10,",
            f"torch seed {DIGIT_SEED}, Adam 1e-3 cosine, {args.digit_epochs} epochs, batch 256, confusable pairs",
            f"penalised, hard cells weighted, calibrated at temperature {temperature:.2f}.",
            f"Trained on {described}.",
            f"Held-out accuracy {digit_accuracy:.4f}.",
        ],
    )
    write_reference_vectors(os.path.join(args.repo, "tests/cardscanner/ExpiryReferenceVectors.h"), separator_params,
                            digit_params, separator_check, digit_check)
    # The reference computation above must agree with the trained model, or
    # the test would check the wrong thing.
    with torch.no_grad():
        x = digit_check[0][:4]
        torch_out = F.softmax(digit.double()(x.double()), dim=1).numpy()
        ours = np.stack([digit_reference(digit_params, v.numpy()) for v in x])
        assert np.abs(torch_out - ours).max() < 1e-6, np.abs(torch_out - ours).max()
    print(f"separator held-out accuracy {separator_accuracy:.4f}, expiry digit {digit_accuracy:.4f}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
