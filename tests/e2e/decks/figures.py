"""Figures as matplotlib draws them into a PDF, one a page at 16:9: a line
plot on a grid, a scatter of translucent points with a colour bar, a picture
with contours, and a bar chart. Its text is in Type 3 fonts, matplotlib's
default. Usage: figures.py OUT.pdf"""
import sys

import matplotlib

matplotlib.use("pdf")
import matplotlib.pyplot as plt  # noqa: E402
import numpy as np  # noqa: E402
from matplotlib.backends.backend_pdf import PdfPages  # noqa: E402

matplotlib.rcParams["pdf.compression"] = 6
matplotlib.rcParams["svg.hashsalt"] = "corvanex"
rng = np.random.default_rng(7)
size = (13.333, 7.5)

with PdfPages(sys.argv[1], metadata={"CreationDate": None}) as pdf:
    fig, ax = plt.subplots(figsize=size)
    x = np.linspace(0, 4 * np.pi, 400)
    for k in range(1, 4):
        ax.plot(x, np.sin(k * x) / k, label=f"sin({k}x)/{k}", linewidth=2)
    ax.grid(True, linewidth=0.3)
    ax.set_title("Waves", fontsize=24)
    ax.legend(fontsize=14)
    pdf.savefig(fig)
    plt.close(fig)

    fig, ax = plt.subplots(figsize=size)
    points = rng.normal(size=(2, 600))
    drawn = ax.scatter(points[0], points[1], c=points[0] * points[1], s=80, alpha=0.5, cmap="viridis")
    fig.colorbar(drawn, ax=ax)
    ax.set_title("Translucent points", fontsize=24)
    pdf.savefig(fig)
    plt.close(fig)

    fig, ax = plt.subplots(figsize=size)
    y, x = np.mgrid[-3:3:200j, -3:3:200j]
    z = np.exp(-(x**2 + y**2)) + 0.5 * np.exp(-((x - 1.5) ** 2 + (y - 1) ** 2) * 3)
    ax.imshow(z, extent=(-3, 3, -3, 3), origin="lower", cmap="magma")
    ax.contour(x, y, z, levels=8, colors="white", linewidths=0.8)
    ax.set_title("A picture with contours", fontsize=24)
    pdf.savefig(fig)
    plt.close(fig)

    fig, ax = plt.subplots(figsize=size)
    names = ["north", "east", "south", "west", "centre"]
    # Bars with edges: without them matplotlib sets the stroke alpha to 0
    # where the hatch pattern is used, and MuPDF strokes a pattern's lines with
    # that alpha (where other readers start it afresh), so no hatch is seen.
    ax.bar(names, [5, 7, 3, 6, 4], color=["#4472c4", "#ed7d31", "#a5a5a5", "#ffc000", "#5b9bd5"], hatch="//",
           edgecolor="black", linewidth=1)
    ax.set_title("Bars", fontsize=24)
    ax.tick_params(labelsize=16)
    pdf.savefig(fig)
    plt.close(fig)
