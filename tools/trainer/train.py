#!/usr/bin/python3
"""Trains the recognition core's networks on the dumps of tools/dump_networks.

    /usr/bin/python3 tools/trainer/train.py --data DIR --net stripe|teacher|a|b|c [--epochs N]

Reads DIR/<set>_stripe_{x,y}.npy or DIR/<set>_digit_{x,y,meta}.npy (the set is
"stripe" for the stripe network and a, b, c for the digit networks) and writes
DIR/params_<net>.npz with the parameters in the core's layout (NETWORKS.md),
as float32. Seeds are fixed per network, so a run repeats exactly on the same
machine and torch build.

"teacher" trains a far larger digit network on the three digit sets together
and writes its outputs on every cell of set s to DIR/teacher_<s>.npy (and its
parameters to DIR/teacher.pt); when that file exists, digit network s learns
from those soft outputs as well as from the labels (distillation). The
teacher never reaches the core: it shows the small networks how unsure to be,
and of which digits, on every cell.
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

SEEDS = {"stripe": 11, "teacher": 7, "a": 101, "b": 202, "c": 303}

# Digit pairs whose shapes differ by a stroke or a gap, and that type never
# seen before confuses first (3 read as 8 most of all). Giving one of them
# much of the probability is penalised more than other mistakes.
CONFUSABLE = [(3, 8), (5, 6), (6, 8), (1, 7), (0, 8), (5, 8), (8, 9), (0, 6), (0, 9), (3, 5)]
CONFUSABLE_WEIGHT = 3.0
# A wrong digit given this much is what the core's vote could decide on.
CONFIDENTLY_WRONG = 0.7


def pair_weights():
    w = torch.ones(10, 10)
    for a, b in CONFUSABLE:
        w[a, b] = w[b, a] = CONFUSABLE_WEIGHT
    w.fill_diagonal_(0)
    return w


def digit_loss(logits, y, pairs):
    """Cross-entropy, plus a penalty on every wrong digit given more than 0.3
    (heavier for confusable pairs), with each batch's hard cells (a wrong
    digit above 0.5) counted twice: mined from the batch itself, so
    the training cells that fool the network are the ones it learns most
    from, at no extra pass."""
    logp = F.log_softmax(logits, 1)
    p = logp.exp()
    ce = F.nll_loss(logp, y, reduction="none")
    weights = pairs[y]
    penalty = (weights * F.relu(p - 0.3) ** 2).sum(1)
    wrong_max = (p * (weights > 0)).max(1).values.detach()
    hard = 1.0 + 1.0 * (wrong_max > 0.5).float()
    return (hard * (ce + 2.0 * penalty)).mean()


# Distillation: the teacher's outputs softened at this temperature, given this
# share of the loss (the rest is digit_loss on the labels).
DISTILL_TEMPERATURE = 2.0
DISTILL_SHARE = 0.5


def distilled_loss(logits, y, teacher_logits, pairs):
    """Where the teacher reads the cell wrong, its outputs are not taught: a
    small network would learn its mistakes with its confidence."""
    t = DISTILL_TEMPERATURE
    soft = F.kl_div(F.log_softmax(logits / t, 1), F.log_softmax(teacher_logits / t, 1),
                    log_target=True, reduction="none").sum(1) * t * t
    right = (teacher_logits.argmax(1) == y).float()
    return DISTILL_SHARE * (soft * right).mean() + (1.0 - DISTILL_SHARE) * digit_loss(logits, y, pairs)


def outputs_in_chunks(model, x, chunk=8192):
    """The model's outputs on many cells, a chunk at a time: a convolution's
    maps over every validation cell at once would not fit in memory."""
    with torch.no_grad():
        return torch.cat([model(x[i : i + chunk]) for i in range(0, len(x), chunk)])


def confidently_wrong_cells(probs, y):
    """Which cells give a wrong digit CONFIDENTLY_WRONG or more."""
    wrong = probs.clone()
    wrong[torch.arange(len(y)), y] = 0
    return wrong.max(1).values >= CONFIDENTLY_WRONG


def confidently_wrong(probs, y):
    return confidently_wrong_cells(probs, y).float().mean().item()


def fit_temperature(model, output_layer, cells, log):
    """Calibration: the temperature that makes the calibration cells'
    confidence mean what it says (least negative log-likelihood), folded into
    the output layer so the core's network is unchanged in shape. Never below
    1: it may only make the network less sure, not more. `cells` maps a name
    to (x, y); the first entry calibrates, every entry is reported."""
    model.eval()
    logits = {name: (outputs_in_chunks(model, x, 4096), y) for name, (x, y) in cells.items()}
    fit, y_fit = next(iter(logits.values()))
    best_t, best_nll = 1.0, None
    for step in range(0, 301):
        t = 1.0 + step * 0.01
        nll = F.cross_entropy(fit / t, y_fit).item()
        if best_nll is None or nll < best_nll:
            best_t, best_nll = t, nll
    with torch.no_grad():
        output_layer.weight /= best_t
        output_layer.bias /= best_t
    log(f"calibration: temperature {best_t:.2f} from the {next(iter(cells))} cells")
    for name, (z, y) in logits.items():
        before = confidently_wrong(F.softmax(z, 1), y)
        after = confidently_wrong(F.softmax(z / best_t, 1), y)
        log(f"  {name}: read {(z.argmax(1) == y).float().mean().item():.4f}; confidently wrong "
            f"(>= {CONFIDENTLY_WRONG}) {before * 100:.3f}% -> {after * 100:.3f}%")
    return best_t


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


class TeacherNet(nn.Module):
    """A digit network with some two hundred times the small one's
    multiply-adds, on the same cell input; used only in training."""

    def __init__(self):
        super().__init__()
        self.layers = nn.Sequential(
            nn.Unflatten(1, (1, 27, 19)),
            nn.Conv2d(1, 32, 3, padding=1), nn.ReLU(),
            nn.Conv2d(32, 32, 3, padding=1), nn.ReLU(), nn.MaxPool2d(2),
            nn.Conv2d(32, 64, 3, padding=1), nn.ReLU(), nn.MaxPool2d(2),
            nn.Flatten(), nn.Linear(64 * 6 * 4, 256), nn.ReLU(), nn.Dropout(0.3), nn.Linear(256, 10))

    def forward(self, x):
        return self.layers(x)


def load_set(data, name, kind):
    # A set may have a part drawn by the second renderer, DIR/<set>_other_*.
    parts = [p for p in (name, f"{name}_other") if os.path.exists(os.path.join(data, f"{p}_{kind}_x.npy"))]
    x = np.concatenate([np.load(os.path.join(data, f"{p}_{kind}_x.npy")) for p in parts])
    y = np.concatenate([np.load(os.path.join(data, f"{p}_{kind}_y.npy")) for p in parts]).astype(np.int64)
    if kind == "digit":
        x = x.astype(np.float32) / np.float32(255.0)
        x = x.reshape(len(x), 27 * 19)
    return torch.from_numpy(np.ascontiguousarray(x, dtype=np.float32)), torch.from_numpy(y)


def train(model, x, y, epochs, lr, batch, seed, class_weights=None, log=print, loss_fn=None):
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
            if loss_fn is not None:
                loss = loss_fn(model(x[idx]), y[idx], idx)
            else:
                loss = F.cross_entropy(model(x[idx]), y[idx], weight=class_weights)
            optimizer.zero_grad()
            loss.backward()
            optimizer.step()
            schedule.step()
            total += loss.item() * len(idx)
        model.eval()
        acc = (outputs_in_chunks(model, x_val).argmax(1) == y_val).float().mean().item()
        log(f"epoch {epoch + 1}/{epochs}: loss {total / len(perm):.4f} val acc {acc:.4f} ({time.time() - start:.1f} s)")
    return model, x_val, y_val


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--data", required=True)
    parser.add_argument("--net", required=True, choices=sorted(SEEDS))
    parser.add_argument("--epochs", type=int, default=0)
    args = parser.parse_args()

    # Two threads: train_all.sh trains the three digit networks side by side,
    # and on a shared machine more threads per process spin-wait instead of
    # working. The teacher trains alone, on all of them.
    torch.set_num_threads(8 if args.net == "teacher" else 2)
    seed = SEEDS[args.net]
    torch.manual_seed(seed)
    np.random.seed(seed)

    extra = {}
    if args.net == "stripe":
        x, y = load_set(args.data, "stripe", "stripe")
        model = StripeNet()
        counts = torch.bincount(y, minlength=3).float()
        print(f"stripe rows: {len(y)}, per class {counts.tolist()}")
        # Rows of the number are rarer than the rest; weigh them up so the
        # summed window clears the usable threshold on real stripes.
        weights = torch.tensor([1.0, 4.0, 4.0])
        train(model, x, y, args.epochs or 60, 3e-3, 512, seed, weights)
    elif args.net == "teacher":
        sets = {name: load_set(args.data, name, "digit") for name in ("a", "b", "c")}
        x = torch.cat([s[0] for s in sets.values()])
        y = torch.cat([s[1] for s in sets.values()])
        print(f"digit cells of sets a, b, c: {len(y)}")
        model = TeacherNet()
        train(model, x, y, args.epochs or 1, 2e-3, 512, seed)
        model.eval()
        # Kept so that measure_cells.py can read benchmark cells with it.
        torch.save(model.state_dict(), os.path.join(args.data, "teacher.pt"))
        for name, (x, y) in sets.items():
            logits = outputs_in_chunks(model, x)
            path = os.path.join(args.data, f"teacher_{name}.npy")
            np.save(path, logits.numpy())
            print(f"wrote {path}: the teacher reads {(logits.argmax(1) == y).float().mean().item():.4f} of set {name}")
        return 0
    else:
        x, y = load_set(args.data, args.net, "digit")
        print(f"digit cells of set {args.net}: {len(y)}")
        model = DigitNet()
        # Large batches keep an epoch of a few hundred thousand cells to seconds
        # on eight cores; the one-cycle schedule makes up for the fewer steps.
        pairs = pair_weights()
        teacher = os.path.join(args.data, f"teacher_{args.net}.npy")
        if os.path.exists(teacher):
            soft = torch.from_numpy(np.load(teacher))
            print(f"distilling from {teacher}")
            extra["distilled"] = 1
            loss_fn = lambda logits, target, idx: distilled_loss(logits, target, soft[idx], pairs)
        else:
            loss_fn = lambda logits, target, idx: digit_loss(logits, target, pairs)
        _, x_val, y_val = train(model, x, y, args.epochs or 40, 6e-3, 512, seed, loss_fn=loss_fn)
        # A network that was kept from one share of the type (--withhold in
        # the dumps) is calibrated on cells of that share alone: type it never
        # saw is what it must be unsure of.
        cells = {"validation": (x_val, y_val)}
        withheld = f"{args.net}_withheld"
        if os.path.exists(os.path.join(args.data, f"{withheld}_digit_x.npy")):
            cells = {"withheld type": load_set(args.data, withheld, "digit"), **cells}
        extra["temperature"] = fit_temperature(model, model.out, cells, print)

    params = {k: v.detach().numpy().astype(np.float32).reshape(-1) for k, v in model.export().items()}
    np.savez(os.path.join(args.data, f"params_{args.net}.npz"), seed=seed, **extra, **params)
    print(f"wrote {os.path.join(args.data, f'params_{args.net}.npz')}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
