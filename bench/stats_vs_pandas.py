"""The same 1-minute statistics as KestroRecorder --report, with pandas and numpy:
Leq, Lmax, L10 and L90 of every interval of a record file (default separators).
LN is the sample of rank ceil(N*n/100) counted from the loudest, in tenths of a
dB, as the recorder defines it (no interpolation between samples).

  stats_vs_pandas.py FILE YYYY-MM-DD OUT.csv      the statistics, into OUT.csv
  stats_vs_pandas.py --compare OUT.csv REPORT_intervals.csv
"""
import math
import sys

import numpy as np
import pandas as pd


def tenths(hundredths):
    """Hundredths of a dB rounded to tenths, half away from zero."""
    return np.where(hundredths >= 0, (hundredths + 5) // 10, -((-hundredths + 5) // 10))


def rank_level(percent):
    def level(h):
        v = np.sort(h.to_numpy())
        k = max(1, math.ceil(percent * len(v) / 100))
        return tenths(v[len(v) - k]) / 10.0
    return level


def compute(path, date, out):
    df = pd.read_csv(path, sep=";", decimal=",", skipinitialspace=True)
    tod = pd.to_timedelta(df["Time"].str.replace(",", ".", regex=False))
    # A time of day that goes back by many hours: midnight passed.
    days = (tod.diff() < pd.Timedelta(hours=-12)).cumsum()
    stamp = pd.Timestamp(date) + tod + pd.to_timedelta(days, unit="D")
    h = np.rint(df["NoiseValue"].to_numpy() * 100).astype(np.int64)
    frame = pd.DataFrame({"H": h, "E": np.power(10.0, h / 1000.0)}, index=stamp)
    g = frame.groupby(pd.Grouper(freq="1min"))
    table = pd.DataFrame({
        "Leq": 10.0 * np.log10(g["E"].mean()),
        "Lmax": tenths(g["H"].max()) / 10.0,
        "L10": g["H"].apply(rank_level(10)),
        "L90": g["H"].apply(rank_level(90)),
    }).dropna()
    table.to_csv(out, index_label="Start", date_format="%Y-%m-%d %H:%M:%S")


def compare(ours, theirs):
    a = pd.read_csv(ours, index_col="Start")
    b = pd.read_csv(theirs, index_col="Start")
    both = a.join(b, rsuffix="_kestro", how="inner")
    names = {"Leq": "LAeq", "Lmax": "LAmax", "L10": "LA10", "L90": "LA90"}
    differ = 0
    for col, theirs_col in names.items():
        # Leq to its one decimal, the others exactly.
        tolerance = 0.0501 if col == "Leq" else 1e-9
        differ += int((both[col] - both[theirs_col]).abs().gt(tolerance).sum())
    print("statistics: %d intervals on both sides (%d pandas, %d KestroRecorder), %d values differ"
          % (len(both), len(a), len(b), differ))
    return 0 if differ == 0 and len(both) == len(a) == len(b) else 1


if __name__ == "__main__":
    if sys.argv[1] == "--compare":
        sys.exit(compare(sys.argv[2], sys.argv[3]))
    compute(sys.argv[1], sys.argv[2], sys.argv[3])
