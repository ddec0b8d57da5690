#!/usr/bin/python3
"""Trains the recognition core's networks on the dumps of tools/dump_networks.

    /usr/bin/python3 tools/trainer/train.py --data DIR --net stripe|a|b|c [--epochs N]

Reads DIR/<set>_stripe_{x,y}.npy or DIR/<set>_digit_{x,y,meta}.npy (the set is
"stripe" for the stripe network and a, b, c for the digit networks) and writes
DIR/params_<net>.npz with the parameters in the core's layout (NETWORKS.md),
as float32. Seeds are fixed per network, so a run repeats exactly on the same
machine and torch build.
"""

import argparse
import os
import sys
import time

# The dense layers go through BLAS (OpenBLAS, see tools/deps); its threads are
# pinned like torch's own, so that the three digit networks trained side by
# side do not oversubscribe the machine and a rerun repeats.
os.environ.setdefault("OPENBLAS_NUM_THREADS", "2")

import numpy as np
import torch
import torch.nn as nn
import torch.nn.functional as F

SEEDS = {"stripe": 11, "a": 101, "b": 202, "c": 303}


class StripeNet(nn.Module):
    def __init__(self):
        super().__init__()
        self.hidden = nn.Linear(204, 50)
        self.out = nn.Linear(50, 3)

    def forward(self, x):
        return self.out(torch.tanh(self.hidden(x)))

    def export(self):
        return {
            "hidden_weights": self.hidden.weight,
            "hidden_biases": self.hidden.bias,
            "output_weights": self.out.weight,
            "output_biases": self.out.bias,
        }


class DigitNet(nn.Module):
    """The core's digit network: only the 24 x 15 correlation positions that
    the 3 x 3 pooling reads are kept, and the map bias comes after pooling."""

    def __init__(self):
        super().__init__()
        self.conv = nn.Conv2d(1, 8, 3, bias=False)
        self.kernel_bias = nn.Parameter(torch.zeros(8))
        self.hidden = nn.Linear(320, 32)
        self.out = nn.Linear(32, 10)

    def forward(self, x):
        # The correlation as nine shifted views times the kernel taps: with one
        # input channel and eight maps, this is several times faster on a CPU
        # than the convolution operator, and the same sums.
        cell = x.view(-1, 27, 19)
        taps = torch.stack([cell[:, i : i + 24, j : j + 15] for i in range(3) for j in range(3)], 1)
        v = torch.einsum("btrc,mt->bmrc", taps, self.conv.weight.view(8, 9))
        f = torch.tanh(F.max_pool2d(v, 3) + self.kernel_bias.view(1, 8, 1, 1))
        return self.out(torch.tanh(self.hidden(f.flatten(1))))

    def export(self):
        return {
            "kernels": self.conv.weight,
            "kernel_biases": self.kernel_bias,
            "hidden_weights": self.hidden.weight,
            "hidden_biases": self.hidden.bias,
            "output_weights": self.out.weight,
            "output_biases": self.out.bias,
        }


def load_set(data, name, kind):
    x = np.load(os.path.join(data, f"{name}_{kind}_x.npy"))
    y = np.load(os.path.join(data, f"{name}_{kind}_y.npy")).astype(np.int64)
    if kind == "digit":
        x = x.astype(np.float32) / np.float32(255.0)
        x = x.reshape(len(x), 27 * 19)
    return torch.from_numpy(np.ascontiguousarray(x, dtype=np.float32)), torch.from_numpy(y)


def train(model, x, y, epochs, lr, batch, seed, class_weights=None, log=print):
    generator = torch.Generator().manual_seed(seed)
    n = len(x)
    n_val = max(1, n // 20)
    order = torch.randperm(n, generator=generator)
    val_idx, train_idx = order[:n_val], order[n_val:]
    x_val, y_val = x[val_idx], y[val_idx]
    optimizer = torch.optim.Adam(model.parameters(), lr=lr)
    steps = epochs * ((len(train_idx) + batch - 1) // batch)
    schedule = torch.optim.lr_scheduler.OneCycleLR(optimizer, max_lr=lr, total_steps=steps)
    for epoch in range(epochs):
        start = time.time()
        model.train()
        perm = train_idx[torch.randperm(len(train_idx), generator=generator)]
        total = 0.0
        for i in range(0, len(perm), batch):
            idx = perm[i : i + batch]
            loss = F.cross_entropy(model(x[idx]), y[idx], weight=class_weights)
            optimizer.zero_grad()
            loss.backward()
            optimizer.step()
            schedule.step()
            total += loss.item() * len(idx)
        model.eval()
        with torch.no_grad():
            pred = model(x_val).argmax(1)
            acc = (pred == y_val).float().mean().item()
        log(f"epoch {epoch + 1}/{epochs}: loss {total / len(perm):.4f} val acc {acc:.4f} ({time.time() - start:.1f} s)")
    return model


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--data", required=True)
    parser.add_argument("--net", required=True, choices=sorted(SEEDS))
    parser.add_argument("--epochs", type=int, default=0)
    args = parser.parse_args()

    # Two threads: train_all.sh trains the three digit networks side by side,
    # and on a shared machine more threads per process spin-wait instead of
    # working.
    torch.set_num_threads(2)
    seed = SEEDS[args.net]
    torch.manual_seed(seed)
    np.random.seed(seed)

    if args.net == "stripe":
        x, y = load_set(args.data, "stripe", "stripe")
        model = StripeNet()
        counts = torch.bincount(y, minlength=3).float()
        print(f"stripe rows: {len(y)}, per class {counts.tolist()}")
        # Rows of the number are rarer than the rest; weigh them up so the
        # summed window clears the usable threshold on real stripes.
        weights = torch.tensor([1.0, 4.0, 4.0])
        train(model, x, y, args.epochs or 60, 3e-3, 512, seed, weights)
    else:
        x, y = load_set(args.data, args.net, "digit")
        print(f"digit cells of set {args.net}: {len(y)}")
        model = DigitNet()
        # Large batches keep an epoch of a few hundred thousand cells to seconds
        # on eight cores; the one-cycle schedule makes up for the fewer steps.
        train(model, x, y, args.epochs or 32, 6e-3, 512, seed)

    params = {k: v.detach().numpy().astype(np.float32).reshape(-1) for k, v in model.export().items()}
    np.savez(os.path.join(args.data, f"params_{args.net}.npz"), seed=seed, **params)
    print(f"wrote {os.path.join(args.data, f'params_{args.net}.npz')}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
