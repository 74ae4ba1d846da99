"""The same 15-minute statistics as KestroRecorder --report, with pandas and numpy:
Leq, Lmax, L10 and L90 of every interval of a record file (default separators)."""
import sys

import numpy as np
import pandas as pd

path, date = sys.argv[1], sys.argv[2]  # date: YYYY-MM-DD of the file name
df = pd.read_csv(path, sep=";", decimal=",", skipinitialspace=True)
tod = pd.to_timedelta(df["Time"].str.replace(",", ".", regex=False))
# A time of day that goes back by many hours: midnight passed.
days = (tod.diff() < pd.Timedelta(hours=-12)).cumsum()
stamp = pd.Timestamp(date) + tod + pd.to_timedelta(days, unit="D")
level = df["NoiseValue"].astype(float)
frame = pd.DataFrame({"L": level.values, "E": np.power(10.0, level.values / 10.0)}, index=stamp)
g = frame.groupby(pd.Grouper(freq="15min"))
out = pd.DataFrame({
    "Leq": 10.0 * np.log10(g["E"].mean()),
    "Lmax": g["L"].max(),
    "L10": g["L"].quantile(0.9),
    "L90": g["L"].quantile(0.1),
}).dropna()
print("pandas: %d intervals, first Leq %.1f dB" % (len(out), out["Leq"].iloc[0]), file=sys.stderr)
