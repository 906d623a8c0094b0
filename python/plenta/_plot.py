"""Plots of an ensemble with Matplotlib (when it is installed): a few
trajectories, the mean and a band of one standard deviation per species."""

from ._ensemble import mean, std


def plot(result, species=None, trajectories=3, filename=None, ax=None, title=None):
    """Draws result's monitored species against time.

    species: names (or positions among the monitored species) to draw;
        default all.
    trajectories: how many single runs to draw thinly (the first ones).
    filename: when given, the figure is saved there (PNG for a .png name).
    ax: a Matplotlib Axes to draw into; by default a new figure is made with
        the Agg renderer (no display needed, the global backend untouched).
    Returns the Figure.
    """
    try:
        from matplotlib.figure import Figure
        from matplotlib.backends.backend_agg import FigureCanvasAgg
    except ImportError as e:
        raise ImportError("plenta.plot needs matplotlib") from e
    names = result.species
    if species is None:
        columns = list(range(len(names)))
    else:
        columns = [names.index(s) if isinstance(s, str) else int(s) for s in species]
    if ax is None:
        fig = Figure(figsize=(8, 5))
        FigureCanvasAgg(fig)
        ax = fig.add_subplot(1, 1, 1)
    else:
        fig = ax.figure
    t = result.time
    m = mean(result)
    sd = std(result)
    cycle = ax._get_lines.get_next_color if hasattr(ax, "_get_lines") else None
    for k, c in enumerate(columns):
        color = cycle() if cycle else f"C{k % 10}"
        for r in range(min(trajectories, result.runs)):
            ax.plot(t, result.counts[r, :, c], color=color, alpha=0.3, linewidth=0.8)
        ax.fill_between(t, m[:, c] - sd[:, c], m[:, c] + sd[:, c], color=color, alpha=0.2,
                        linewidth=0)
        ax.plot(t, m[:, c], color=color, linewidth=2.0, label=f"{names[c]} (mean ± 1 sd)")
    ax.set_xlabel("time")
    ax.set_ylabel("molecules")
    ax.set_title(title or f"{result.runs} runs, seed {result.seed}")
    ax.legend()
    if filename is not None:
        fig.savefig(filename)
    return fig
