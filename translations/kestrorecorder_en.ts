<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en">
<context>
    <name>Report</name>
    <message>
        <source>given with --tz; the side file says %1</source>
        <translation>given with --tz; the side file says %1</translation>
    </message>
    <message>
        <source>given with --tz</source>
        <translation>given with --tz</translation>
    </message>
    <message>
        <source>not given</source>
        <translation>not given</translation>
    </message>
    <message>
        <source>not recorded with the measurement</source>
        <translation>not recorded with the measurement</translation>
    </message>
    <message>
        <source>event level %1 dB</source>
        <translation>event level %1 dB</translation>
    </message>
    <message>
        <source>no event level (marked spans only)</source>
        <translation>no event level (marked spans only)</translation>
    </message>
    <message>
        <source>%1, minimum duration %2 s, hysteresis %3 dB (from the %4)</source>
        <translation>%1, minimum duration %2 s, hysteresis %3 dB (from the %4)</translation>
    </message>
    <message>
        <source>side file</source>
        <translation>side file</translation>
    </message>
    <message>
        <source>events file</source>
        <translation>events file</translation>
    </message>
    <message>
        <source>about %1 readings a second</source>
        <translation>about %1 readings a second</translation>
    </message>
    <message>
        <source>one reading a second</source>
        <translation>one reading a second</translation>
    </message>
    <message>
        <source>one reading every %1 s</source>
        <translation>one reading every %1 s</translation>
    </message>
    <message>
        <source>not given: days and period lengths as in this computer&apos;s zone, %1 (--tz names another)</source>
        <translation>not given: days and period lengths as in this computer&apos;s zone, %1 (--tz names another)</translation>
    </message>
    <message>
        <source>%1, which this computer does not know: days and period lengths as in its own zone, %2</source>
        <translation>%1, which this computer does not know: days and period lengths as in its own zone, %2</translation>
    </message>
    <message>
        <source>%1 (UTC%2 at the start)</source>
        <translation>%1 (UTC%2 at the start)</translation>
    </message>
    <message>
        <source>Calibration checks</source>
        <translation>Calibration checks</translation>
    </message>
    <message>
        <source>not known</source>
        <translation>not known</translation>
    </message>
    <message>
        <source> (another meter)</source>
        <translation> (another meter)</translation>
    </message>
    <message>
        <source> (%1 readings)</source>
        <translation> (%1 readings)</translation>
    </message>
    <message>
        <source>before</source>
        <translation>before</translation>
    </message>
    <message>
        <source>after</source>
        <translation>after</translation>
    </message>
    <message>
        <source>before, not vouched for</source>
        <translation>before, not vouched for</translation>
    </message>
    <message>
        <source>after, not vouched for</source>
        <translation>after, not vouched for</translation>
    </message>
    <message>
        <source>No calibration check is known before or after the measurement.</source>
        <translation>No calibration check is known before or after the measurement.</translation>
    </message>
    <message>
        <source>Check</source>
        <translation>Check</translation>
    </message>
    <message>
        <source>Date and time</source>
        <translation>Date and time</translation>
    </message>
    <message>
        <source>Level</source>
        <translation>Level</translation>
    </message>
    <message>
        <source>Meter serial number</source>
        <translation>Meter serial number</translation>
    </message>
    <message>
        <source>Checks not vouched for by a closed side file (added to the calibration log after it, or of a series never closed) enter no figure here.</source>
        <translation>Checks not vouched for by a closed side file (added to the calibration log after it, or of a series never closed) enter no figure here.</translation>
    </message>
    <message>
        <source> Warning: more than %1 dB; the levels may be off by as much.</source>
        <translation> Warning: more than %1 dB; the levels may be off by as much.</translation>
    </message>
    <message>
        <source>Events and markers</source>
        <translation>Events and markers</translation>
    </message>
    <message>
        <source>No events file (%1) lies beside the record file: nothing was marked, and no exceedance was watched for while it was recorded.</source>
        <translation>No events file (%1) lies beside the record file: nothing was marked, and no exceedance was watched for while it was recorded.</translation>
    </message>
    <message>
        <source>Not vouched for: no closed side file speaks for %1 (its series was never closed, or its side file is missing); its rows are used as they are.</source>
        <translation>Not vouched for: no closed side file speaks for %1 (its series was never closed, or its side file is missing); its rows are used as they are.</translation>
    </message>
    <message>
        <source>Exceedances of the event level: %1. Marked spans: %2. From %3. An exceedance starts when the level rises above the event level and ends when it falls below that level less the hysteresis; it counts when it lasted the minimum duration. SEL = LAeq + 10 lg(duration / 1 s).</source>
        <translation>Exceedances of the event level: %1. Marked spans: %2. From %3. An exceedance starts when the level rises above the event level and ends when it falls below that level less the hysteresis; it counts when it lasted the minimum duration. SEL = LAeq + 10 lg(duration / 1 s).</translation>
    </message>
    <message>
        <source>Date</source>
        <translation>Date</translation>
    </message>
    <message>
        <source>Exceedances</source>
        <translation>Exceedances</translation>
    </message>
    <message>
        <source>Marked spans</source>
        <translation>Marked spans</translation>
    </message>
    <message>
        <source>Exceedances by hour</source>
        <translation>Exceedances by hour</translation>
    </message>
    <message>
        <source>%1 to %2, %3%4: LAmax %5 %6, LAeq %7 %6, SEL %8 %6</source>
        <translation>%1 to %2, %3%4: LAmax %5 %6, LAeq %7 %6, SEL %8 %6</translation>
    </message>
    <message>
        <source> (cut short by the end of the series)</source>
        <translation> (cut short by the end of the series)</translation>
    </message>
    <message>
        <source>Marker</source>
        <translation>Marker</translation>
    </message>
    <message>
        <source>Exceedance</source>
        <translation>Exceedance</translation>
    </message>
    <message>
        <source>open</source>
        <translation>open</translation>
    </message>
    <message>
        <source>Kind</source>
        <translation>Kind</translation>
    </message>
    <message>
        <source>Start</source>
        <translation>Start</translation>
    </message>
    <message>
        <source>End</source>
        <translation>End</translation>
    </message>
    <message>
        <source>Duration</source>
        <translation>Duration</translation>
    </message>
    <message>
        <source>Note</source>
        <translation>Note</translation>
    </message>
    <message>
        <source>Not vouched for: %1 rows of %2 that no closed side file vouches for (written after its series was closed, or changed since). They are counted nowhere in this report and leave no span out of any level.</source>
        <translation>Not vouched for: %1 rows of %2 that no closed side file vouches for (written after its series was closed, or changed since). They are counted nowhere in this report and leave no span out of any level.</translation>
    </message>
    <message>
        <source>Nothing was marked: no span is left out of any level.</source>
        <translation>Nothing was marked: no span is left out of any level.</translation>
    </message>
    <message>
        <source>A running maximum gives no LAeq: the marked spans leave no level out.</source>
        <translation>A running maximum gives no LAeq: the marked spans leave no level out.</translation>
    </message>
    <message>
        <source>%1 of the whole recording: %2 %3. Without the %4 marked spans (%5 of %6 samples left out): %7 %3.</source>
        <translation>%1 of the whole recording: %2 %3. Without the %4 marked spans (%5 of %6 samples left out): %7 %3.</translation>
    </message>
    <message>
        <source>Noise measurement report</source>
        <translation>Noise measurement report</translation>
    </message>
    <message>
        <source> %1 (LAeq per interval)</source>
        <translation> %1 (LAeq per interval)</translation>
    </message>
    <message>
        <source>none</source>
        <translation>none</translation>
    </message>
    <message>
        <source>, %1 without a level (not counted)</source>
        <translation>, %1 without a level (not counted)</translation>
    </message>
    <message>
        <source>, %1 at estimated instants</source>
        <translation>, %1 at estimated instants</translation>
    </message>
    <message>
        <source>not reported by the meter</source>
        <translation>not reported by the meter</translation>
    </message>
    <message>
        <source>software %1, hardware %2</source>
        <translation>software %1, hardware %2</translation>
    </message>
    <message>
        <source>not reported</source>
        <translation>not reported</translation>
    </message>
    <message>
        <source>Instrument type and class</source>
        <translation>Instrument type and class</translation>
    </message>
    <message>
        <source>Meter revisions</source>
        <translation>Meter revisions</translation>
    </message>
    <message>
        <source>Recorded with</source>
        <translation>Recorded with</translation>
    </message>
    <message>
        <source>Report made with</source>
        <translation>Report made with</translation>
    </message>
    <message>
        <source>Record file</source>
        <translation>Record file</translation>
    </message>
    <message>
        <source>Measured value</source>
        <translation>Measured value</translation>
    </message>
    <message>
        <source>Statistics</source>
        <translation>Statistics</translation>
    </message>
    <message>
        <source>, in </source>
        <translation>, in </translation>
    </message>
    <message>
        <source>Location</source>
        <translation>Location</translation>
    </message>
    <message>
        <source>Operator</source>
        <translation>Operator</translation>
    </message>
    <message>
        <source>Weather</source>
        <translation>Weather</translation>
    </message>
    <message>
        <source>Notes</source>
        <translation>Notes</translation>
    </message>
    <message>
        <source>Time zone</source>
        <translation>Time zone</translation>
    </message>
    <message>
        <source> (%1 samples)</source>
        <translation> (%1 samples)</translation>
    </message>
    <message>
        <source>Event criteria</source>
        <translation>Event criteria</translation>
    </message>
    <message>
        <source>Interval</source>
        <translation>Interval</translation>
    </message>
    <message>
        <source>Limit</source>
        <translation>Limit</translation>
    </message>
    <message>
        <source>Samples</source>
        <translation>Samples</translation>
    </message>
    <message>
        <source>Flag column</source>
        <translation>Flag column</translation>
    </message>
    <message>
        <source>no header line and one flag column after the level: read as %1 (%2)</source>
        <translation>no header line and one flag column after the level: read as %1 (%2)</translation>
    </message>
    <message>
        <source>underflow</source>
        <translation>underflow</translation>
    </message>
    <message>
        <source>overflow</source>
        <translation>overflow</translation>
    </message>
    <message>
        <source>as given</source>
        <translation>as given</translation>
    </message>
    <message>
        <source>assumed</source>
        <translation>assumed</translation>
    </message>
    <message>
        <source>not checked</source>
        <translation>not checked</translation>
    </message>
    <message>
        <source>File verification</source>
        <translation>File verification</translation>
    </message>
    <message>
        <source>Note: </source>
        <translation>Note: </translation>
    </message>
    <message>
        <source>Levels are in %1 as the meter displays them; the meter does not report its time weighting over the serial line. </source>
        <translation>Levels are in %1 as the meter displays them; the meter does not report its time weighting over the serial line. </translation>
    </message>
    <message>
        <source>Time history</source>
        <translation>Time history</translation>
    </message>
    <message>
        <source>Lowest and highest value of every pixel column; dashed lines mark midnight</source>
        <translation>Lowest and highest value of every pixel column; dashed lines mark midnight</translation>
    </message>
    <message>
        <source>, the red line the limit</source>
        <translation>, the red line the limit</translation>
    </message>
    <message>
        <source>; orange bands are exceedances, blue ones marked spans</source>
        <translation>; orange bands are exceedances, blue ones marked spans</translation>
    </message>
    <message>
        <source>Summary of the whole recording</source>
        <translation>Summary of the whole recording</translation>
    </message>
    <message>
        <source>Overflow</source>
        <translation>Overflow</translation>
    </message>
    <message>
        <source>Underflow</source>
        <translation>Underflow</translation>
    </message>
    <message>
        <source>LAN is the level reached or exceeded by N % of the samples.</source>
        <translation>LAN is the level reached or exceeded by N % of the samples.</translation>
    </message>
    <message>
        <source>The meter holds the highest level since the series began: an interval&apos;s LAmax is that value at the interval&apos;s end, not the highest level within the interval alone. A running maximum gives no LAeq, LAmin or LAN.</source>
        <translation>The meter holds the highest level since the series began: an interval&apos;s LAmax is that value at the interval&apos;s end, not the highest level within the interval alone. A running maximum gives no LAeq, LAmin or LAN.</translation>
    </message>
    <message>
        <source>Raw amplitudes give an Leq (the mean of their squares) and nothing else.</source>
        <translation>Raw amplitudes give an Leq (the mean of their squares) and nothing else.</translation>
    </message>
    <message>
        <source>Day, evening and night levels</source>
        <translation>Day, evening and night levels</translation>
    </message>
    <message>
        <source>A running maximum gives no day levels.</source>
        <translation>A running maximum gives no day levels.</translation>
    </message>
    <message>
        <source>day</source>
        <translation>day</translation>
    </message>
    <message>
        <source>evening</source>
        <translation>evening</translation>
    </message>
    <message>
        <source>night</source>
        <translation>night</translation>
    </message>
    <message>
        <source>Assessment day</source>
        <translation>Assessment day</translation>
    </message>
    <message>
        <source>Intervals over the limit</source>
        <translation>Intervals over the limit</translation>
    </message>
    <message>
        <source>No limit was set.</source>
        <translation>No limit was set.</translation>
    </message>
    <message>
        <source>No interval has an LAeq above %1 %2.</source>
        <translation>No interval has an LAeq above %1 %2.</translation>
    </message>
    <message>
        <source>%1 of %2 intervals have an LAeq above %3 %4, the highest %5 %4 from %6 to %7; they are red and marked &gt; in the interval table%8.</source>
        <translation>%1 of %2 intervals have an LAeq above %3 %4, the highest %5 %4 from %6 to %7; they are red and marked &gt; in the interval table%8.</translation>
    </message>
    <message>
        <source> beside this report</source>
        <translation> beside this report</translation>
    </message>
    <message>
        <source>Ovf.</source>
        <translation>Ovf.</translation>
    </message>
    <message>
        <source>Unf.</source>
        <translation>Unf.</translation>
    </message>
    <message>
        <source>Marks</source>
        <translation>Marks</translation>
    </message>
    <message>
        <source>Clock hours</source>
        <translation>Clock hours</translation>
    </message>
    <message>
        <source>Intervals of %1</source>
        <translation>Intervals of %1</translation>
    </message>
    <message>
        <source>The recording has %1 intervals of %2: the table lists clock hours, every interval is in %3 beside this report.</source>
        <translation>The recording has %1 intervals of %2: the table lists clock hours, every interval is in %3 beside this report.</translation>
    </message>
    <message>
        <source>The file holds no level.</source>
        <translation>The file holds no level.</translation>
    </message>
    <message>
        <source>Marks: O overload, U under-range, E instants estimated (lines without a time), &gt; over the limit, R the meter started its measurement again, ~ no LAeq within the resolution of the readings.</source>
        <translation>Marks: O overload, U under-range, E instants estimated (lines without a time), &gt; over the limit, R the meter started its measurement again, ~ no LAeq within the resolution of the readings.</translation>
    </message>
    <message>
        <source>Page %1 of %2</source>
        <translation>Page %1 of %2</translation>
    </message>
    <message>
        <source>the A-weighted sound level at each reading</source>
        <translation>the A-weighted sound level at each reading</translation>
    </message>
    <message>
        <source>the A-weighted equivalent level LAeq, integrated by the meter since it started its measurement (with the series)</source>
        <translation>the A-weighted equivalent level LAeq, integrated by the meter since it started its measurement (with the series)</translation>
    </message>
    <message>
        <source>the highest A-weighted level since the meter started its measurement (with the series)</source>
        <translation>the highest A-weighted level since the meter started its measurement (with the series)</translation>
    </message>
    <message>
        <source>raw amplitudes, as levels 20 lg v</source>
        <translation>raw amplitudes, as levels 20 lg v</translation>
    </message>
    <message>
        <source>not known from the file name: read as sound levels</source>
        <translation>not known from the file name: read as sound levels</translation>
    </message>
    <message>
        <source> (fast values): </source>
        <translation> (fast values): </translation>
    </message>
    <message>
        <source>Noise measurement report: </source>
        <translation>Noise measurement report: </translation>
    </message>
    <message>
        <source>The meter integrates LAeq from the start of the series; an interval&apos;s LAeq is (T2·10^(L2/10) − T1·10^(L1/10)) / (T2 − T1), T counted from the series&apos; first reading, L1 the reading before the interval and L2 its last. Where the 0.1 dB resolution of the readings leaves that more than ±0.3 dB uncertain, the interval has none (~). A running LAeq gives no LAmax, LAmin or LAN.</source>
        <translation>The meter integrates LAeq from the start of the series; an interval&apos;s LAeq is (T2·10^(L2/10) − T1·10^(L1/10)) / (T2 − T1), T counted from the series&apos; first reading, L1 the reading before the interval and L2 its last. Where the 0.1 dB resolution of the readings leaves that more than ±0.3 dB uncertain, the interval has none (~). A running LAeq gives no LAmax, LAmin or LAN.</translation>
    </message>
    <message>
        <source>An assessment day runs from %1:00 to %1:00 of the next date; in brackets the hours the recording covers. Lden = 10 lg((hd·10^(Ld/10) + he·10^((Le+5)/10) + hn·10^((Ln+10)/10)) / 24) and LAeq,24h likewise without the additions, with the hours of each period (hn is 7 or 9 and the day 23 or 25 hours when daylight saving time begins or ends). Both are given only when every period is covered to at least %2 %; otherwise the coverage of the periods that fall short. E: instants estimated.</source>
        <translation>An assessment day runs from %1:00 to %1:00 of the next date; in brackets the hours the recording covers. Lden = 10 lg((hd·10^(Ld/10) + he·10^((Le+5)/10) + hn·10^((Ln+10)/10)) / 24) and LAeq,24h likewise without the additions, with the hours of each period (hn is 7 or 9 and the day 23 or 25 hours when daylight saving time begins or ends). Both are given only when every period is covered to at least %2 %; otherwise the coverage of the periods that fall short. E: instants estimated.</translation>
    </message>
    <message>
        <source>The figures come from the fast stream (%1), %2.</source>
        <translation>The figures come from the fast stream (%1), %2.</translation>
    </message>
    <message>
        <source>The figures come from the slow stream (%1), %2.</source>
        <translation>The figures come from the slow stream (%1), %2.</translation>
    </message>
    <message>
        <source> The slow stream of the same measurement is in %1; the two differ where the level changes faster than the slow readings follow (a slow running value is integrated since the meter started). Report on the fast stream for short events, on the slow one for long-term levels, and say which.</source>
        <translation> The slow stream of the same measurement is in %1; the two differ where the level changes faster than the slow readings follow (a slow running value is integrated since the meter started). Report on the fast stream for short events, on the slow one for long-term levels, and say which.</translation>
    </message>
    <message>
        <source> The fast stream of the same measurement is in %1; the two differ where the level changes faster than the slow readings follow (a slow running value is integrated since the meter started). Report on the fast stream for short events, on the slow one for long-term levels, and say which.</source>
        <translation> The fast stream of the same measurement is in %1; the two differ where the level changes faster than the slow readings follow (a slow running value is integrated since the meter started). Report on the fast stream for short events, on the slow one for long-term levels, and say which.</translation>
    </message>
    <message>
        <source>Drift between the last check before and the first check after the measurement: %1%2 dB.</source>
        <translation>Drift between the last check before and the first check after the measurement: %1%2 dB.</translation>
    </message>
    <message>
        <source>No check before the measurement: the drift is not known.</source>
        <translation>No check before the measurement: the drift is not known.</translation>
    </message>
    <message>
        <source>No check after the measurement: the drift is not known.</source>
        <translation>No check after the measurement: the drift is not known.</translation>
    </message>
</context>
<context>
    <name>WebPage</name>
    <message>
        <source>meter —</source>
        <translation>meter —</translation>
    </message>
    <message>
        <source>connecting…</source>
        <translation>connecting…</translation>
    </message>
    <message>
        <source>This station needs its token:</source>
        <translation>This station needs its token:</translation>
    </message>
    <message>
        <source>Show</source>
        <translation>Show</translation>
    </message>
    <message>
        <source>Meter</source>
        <translation>Meter</translation>
    </message>
    <message>
        <source>Sound level</source>
        <translation>Sound level</translation>
    </message>
    <message>
        <source>unknown</source>
        <translation>unknown</translation>
    </message>
    <message>
        <source>Recording</source>
        <translation>Recording</translation>
    </message>
    <message>
        <source>Function</source>
        <translation>Function</translation>
    </message>
    <message>
        <source>Range</source>
        <translation>Range</translation>
    </message>
    <message>
        <source>Battery</source>
        <translation>Battery</translation>
    </message>
    <message>
        <source>Station time</source>
        <translation>Station time</translation>
    </message>
    <message>
        <source>Noise events</source>
        <translation>Noise events</translation>
    </message>
    <message>
        <source>No exceedance yet.</source>
        <translation>No exceedance yet.</translation>
    </message>
    <message>
        <source>Slow level, last 10 minutes</source>
        <translation>Slow level, last 10 minutes</translation>
    </message>
    <message>
        <source>Slow level over the last ten minutes</source>
        <translation>Slow level over the last ten minutes</translation>
    </message>
    <message>
        <source>Statistics</source>
        <translation>Statistics</translation>
    </message>
    <message>
        <source>No statistics yet: they begin with a recording.</source>
        <translation>No statistics yet: they begin with a recording.</translation>
    </message>
    <message>
        <source>Files</source>
        <translation>Files</translation>
    </message>
    <message>
        <source>File</source>
        <translation>File</translation>
    </message>
    <message>
        <source>Kind</source>
        <translation>Kind</translation>
    </message>
    <message>
        <source>Size</source>
        <translation>Size</translation>
    </message>
    <message>
        <source>Modified</source>
        <translation>Modified</translation>
    </message>
    <message>
        <source>Duration</source>
        <translation>Duration</translation>
    </message>
    <message>
        <source>State</source>
        <translation>State</translation>
    </message>
    <message>
        <source>None yet.</source>
        <translation>None yet.</translation>
    </message>
    <message>
        <source>Daily reports</source>
        <translation>Daily reports</translation>
    </message>
    <message>
        <source>Day</source>
        <translation>Day</translation>
    </message>
    <message>
        <source>Events</source>
        <translation>Events</translation>
    </message>
    <message>
        <source>Report</source>
        <translation>Report</translation>
    </message>
    <message>
        <source>token needed</source>
        <translation>token needed</translation>
    </message>
    <message>
        <source>The station refused this token.</source>
        <translation>The station refused this token.</translation>
    </message>
    <message>
        <source>online</source>
        <translation>online</translation>
    </message>
    <message>
        <source>offline</source>
        <translation>offline</translation>
    </message>
    <message>
        <source>recording</source>
        <translation>recording</translation>
    </message>
    <message>
        <source>not recording</source>
        <translation>not recording</translation>
    </message>
    <message>
        <source>meter %1</source>
        <translation>meter %1</translation>
    </message>
    <message>
        <source>Exceedance of %1 dB since %2</source>
        <translation>Exceedance of %1 dB since %2</translation>
    </message>
    <message>
        <source>Last exceedance %1, %2</source>
        <translation>Last exceedance %1, %2</translation>
    </message>
    <message>
        <source> (cut short)</source>
        <translation> (cut short)</translation>
    </message>
    <message>
        <source> — %1 in this run</source>
        <translation> — %1 in this run</translation>
    </message>
    <message>
        <source>slow</source>
        <translation>slow</translation>
    </message>
    <message>
        <source>fast</source>
        <translation>fast</translation>
    </message>
    <message>
        <source>%1 (%2), intervals of %3</source>
        <translation>%1 (%2), intervals of %3</translation>
    </message>
    <message>
        <source>, limit %1 dB</source>
        <translation>, limit %1 dB</translation>
    </message>
    <message>
        <source>, ended</source>
        <translation>, ended</translation>
    </message>
    <message>
        <source>%1 since start</source>
        <translation>%1 since start</translation>
    </message>
    <message>
        <source>Interval %1</source>
        <translation>Interval %1</translation>
    </message>
    <message>
        <source>Interval</source>
        <translation>Interval</translation>
    </message>
    <message>
        <source>Samples</source>
        <translation>Samples</translation>
    </message>
    <message>
        <source>No completed interval yet.</source>
        <translation>No completed interval yet.</translation>
    </message>
    <message>
        <source>record</source>
        <translation>record</translation>
    </message>
    <message>
        <source>statistics</source>
        <translation>statistics</translation>
    </message>
    <message>
        <source>events</source>
        <translation>events</translation>
    </message>
    <message>
        <source>side</source>
        <translation>side</translation>
    </message>
    <message>
        <source>signature</source>
        <translation>signature</translation>
    </message>
    <message>
        <source>timestamp</source>
        <translation>timestamp</translation>
    </message>
    <message>
        <source>calibration</source>
        <translation>calibration</translation>
    </message>
    <message>
        <source>report</source>
        <translation>report</translation>
    </message>
    <message>
        <source>open</source>
        <translation>open</translation>
    </message>
    <message>
        <source>closed</source>
        <translation>closed</translation>
    </message>
    <message>
        <source>nothing recorded</source>
        <translation>nothing recorded</translation>
    </message>
    <message>
        <source>live</source>
        <translation>live</translation>
    </message>
    <message>
        <source>reconnecting…</source>
        <translation>reconnecting…</translation>
    </message>
</context>
<context>
    <name>kestro::DesktopApplication</name>
    <message>
        <source>No serial port is set: choose one in Setup</source>
        <translation>No serial port is set: choose one in Setup</translation>
    </message>
</context>
<context>
    <name>kestro::DisplayPanel</name>
    <message>
        <source>Initialisation</source>
        <translation>Initialisation</translation>
    </message>
    <message>
        <source>Calibration</source>
        <translation>Calibration</translation>
    </message>
    <message>
        <source>Service</source>
        <translation>Service</translation>
    </message>
    <message>
        <source>battery empty</source>
        <translation>battery empty</translation>
    </message>
    <message>
        <source>battery low</source>
        <translation>battery low</translation>
    </message>
    <message>
        <source>battery full</source>
        <translation>battery full</translation>
    </message>
    <message>
        <source>%1 earlier</source>
        <translation>%1 earlier</translation>
    </message>
    <message>
        <source>%1 now and earlier</source>
        <translation>%1 now and earlier</translation>
    </message>
    <message>
        <source>Level: segment test</source>
        <translation>Level: segment test</translation>
    </message>
    <message>
        <source>Level over range</source>
        <translation>Level over range</translation>
    </message>
    <message>
        <source>Level under range</source>
        <translation>Level under range</translation>
    </message>
    <message>
        <source>Level: no reading</source>
        <translation>Level: no reading</translation>
    </message>
    <message>
        <source>Level: error reading (Err)</source>
        <translation>Level: error reading (Err)</translation>
    </message>
    <message>
        <source>Level %1 dB</source>
        <translation>Level %1 dB</translation>
    </message>
    <message>
        <source>overflow</source>
        <translation>overflow</translation>
    </message>
    <message>
        <source>underflow</source>
        <translation>underflow</translation>
    </message>
</context>
<context>
    <name>kestro::EventNotifier</name>
    <message>
        <source>Noise event ended</source>
        <translation>Noise event ended</translation>
    </message>
    <message>
        <source>Noise event: above %1 dB</source>
        <translation>Noise event: above %1 dB</translation>
    </message>
    <message>
        <source>%1 – %2, %3 s%4: LAmax %5, SEL %6</source>
        <translation>%1 – %2, %3 s%4: LAmax %5, SEL %6</translation>
    </message>
    <message>
        <source> (cut short)</source>
        <translation> (cut short)</translation>
    </message>
    <message>
        <source>Since %1 (%2), LAmax so far %3</source>
        <translation>Since %1 (%2), LAmax so far %3</translation>
    </message>
</context>
<context>
    <name>kestro::EventRecorder</name>
    <message>
        <source>slow %1 levels above %2 dB</source>
        <translation>slow %1 levels above %2 dB</translation>
    </message>
    <message>
        <source>fast %1 levels above %2 dB</source>
        <translation>fast %1 levels above %2 dB</translation>
    </message>
    <message>
        <source>no event level set</source>
        <translation>no event level set</translation>
    </message>
    <message>
        <source>%1 values are no instant levels</source>
        <translation>%1 values are no instant levels</translation>
    </message>
</context>
<context>
    <name>kestro::FileList</name>
    <message>
        <source>Record files</source>
        <translation>Record files</translation>
    </message>
    <message>
        <source>Start</source>
        <translation>Start</translation>
    </message>
    <message>
        <source>Duration</source>
        <translation>Duration</translation>
    </message>
    <message>
        <source>File name</source>
        <translation>File name</translation>
    </message>
</context>
<context>
    <name>kestro::IntervalBarChart</name>
    <message>
        <source>Interval levels</source>
        <translation>Interval levels</translation>
    </message>
    <message>
        <source>No interval yet</source>
        <translation>No interval yet</translation>
    </message>
    <message>
        <source>LAeq of %1 intervals from %2 to %3</source>
        <translation>LAeq of %1 intervals from %2 to %3</translation>
    </message>
    <message>
        <source>, %1 to %2 dB</source>
        <translation>, %1 to %2 dB</translation>
    </message>
    <message>
        <source>; %1 above the limit of %2 dB</source>
        <translation>; %1 above the limit of %2 dB</translation>
    </message>
</context>
<context>
    <name>kestro::RecordingViews</name>
    <message>
        <source>Level graph</source>
        <translation>Level graph</translation>
    </message>
    <message>
        <source>The slow level of the recording over the time of day</source>
        <translation>The slow level of the recording over the time of day</translation>
    </message>
</context>
<context>
    <name>kestro::Session</name>
    <message>
        <source>%1 disconnected — retrying</source>
        <translation>%1 disconnected — retrying</translation>
    </message>
    <message>
        <source>%1 not connected — retrying</source>
        <translation>%1 not connected — retrying</translation>
    </message>
</context>
<context>
    <name>kestro::SettingsSchema</name>
    <message>
        <source>must not contain &quot;/&quot;</source>
        <translation>must not contain &quot;/&quot;</translation>
    </message>
    <message>
        <source>must not contain &quot;..&quot;</source>
        <translation>must not contain &quot;..&quot;</translation>
    </message>
    <message>
        <source>must not contain control characters</source>
        <translation>must not contain control characters</translation>
    </message>
</context>
<context>
    <name>kestro::StatisticsWindow</name>
    <message>
        <source>Start</source>
        <translation>Start</translation>
    </message>
    <message>
        <source>End</source>
        <translation>End</translation>
    </message>
    <message>
        <source>Samples</source>
        <translation>Samples</translation>
    </message>
    <message>
        <source>Overflow</source>
        <translation>Overflow</translation>
    </message>
    <message>
        <source>Underflow</source>
        <translation>Underflow</translation>
    </message>
    <message>
        <source>Marks</source>
        <translation>Marks</translation>
    </message>
    <message>
        <source> (since the series began)</source>
        <translation> (since the series began)</translation>
    </message>
    <message>
        <source> (beyond the resolution of the readings)</source>
        <translation> (beyond the resolution of the readings)</translation>
    </message>
    <message>
        <source>Select a span with Shift+drag, the right mouse button or Shift+arrow keys.</source>
        <translation>Select a span with Shift+drag, the right mouse button or Shift+arrow keys.</translation>
    </message>
    <message>
        <source>over limit</source>
        <translation>over limit</translation>
    </message>
    <message>
        <source>overload</source>
        <translation>overload</translation>
    </message>
    <message>
        <source>under-range</source>
        <translation>under-range</translation>
    </message>
    <message>
        <source>estimated</source>
        <translation>estimated</translation>
    </message>
    <message>
        <source>meter restarted</source>
        <translation>meter restarted</translation>
    </message>
    <message>
        <source>beyond resolution</source>
        <translation>beyond resolution</translation>
    </message>
    <message>
        <source>Statistics</source>
        <translation>Statistics</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>Current recording</source>
        <translation>Current recording</translation>
    </message>
    <message>
        <source>Record file</source>
        <translation>Record file</translation>
    </message>
    <message>
        <source>Time history, %1 to %2</source>
        <translation>Time history, %1 to %2</translation>
    </message>
    <message>
        <source>Slow values</source>
        <translation>Slow values</translation>
    </message>
    <message>
        <source>Fast values</source>
        <translation>Fast values</translation>
    </message>
    <message>
        <source>Analyse this record file</source>
        <translation>Analyse this record file</translation>
    </message>
    <message>
        <source>Intervals, %1</source>
        <translation>Intervals, %1</translation>
    </message>
    <message>
        <source>Open record file…</source>
        <translation>Open record file…</translation>
    </message>
    <message>
        <source>PDF report…</source>
        <translation>PDF report…</translation>
    </message>
    <message>
        <source>Reading %p%</source>
        <translation>Reading %p%</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>No record file opened.</source>
        <translation>No record file opened.</translation>
    </message>
    <message>
        <source>Intervals of the record file</source>
        <translation>Intervals of the record file</translation>
    </message>
    <message>
        <source>Day levels</source>
        <translation>Day levels</translation>
    </message>
    <message>
        <source>Assessment day</source>
        <translation>Assessment day</translation>
    </message>
    <message>
        <source>Intervals</source>
        <translation>Intervals</translation>
    </message>
    <message>
        <source>Interval levels</source>
        <translation>Interval levels</translation>
    </message>
    <message>
        <source>Events and markers</source>
        <translation>Events and markers</translation>
    </message>
    <message>
        <source>Kind</source>
        <translation>Kind</translation>
    </message>
    <message>
        <source>Duration</source>
        <translation>Duration</translation>
    </message>
    <message>
        <source>State</source>
        <translation>State</translation>
    </message>
    <message>
        <source>Note</source>
        <translation>Note</translation>
    </message>
    <message>
        <source>Noise events: not recording.</source>
        <translation>Noise events: not recording.</translation>
    </message>
    <message>
        <source>Noise events: %1; %2 counted in this run.</source>
        <translation>Noise events: %1; %2 counted in this run.</translation>
    </message>
    <message>
        <source>Noise events: none watched (%1).</source>
        <translation>Noise events: none watched (%1).</translation>
    </message>
    <message>
        <source> Exceedance since %1, LAmax so far %2 dB.</source>
        <translation> Exceedance since %1, LAmax so far %2 dB.</translation>
    </message>
    <message>
        <source> Last: %1 – %2, LAmax %3 dB, SEL %4 dB.</source>
        <translation> Last: %1 – %2, LAmax %3 dB, SEL %4 dB.</translation>
    </message>
    <message>
        <source> Marked since %1: %2.</source>
        <translation> Marked since %1: %2.</translation>
    </message>
    <message>
        <source>No series recorded yet.</source>
        <translation>No series recorded yet.</translation>
    </message>
    <message>
        <source> (ended)</source>
        <translation> (ended)</translation>
    </message>
    <message>
        <source>Since %1:  %2</source>
        <translation>Since %1:  %2</translation>
    </message>
    <message>
        <source>   (%1 samples)</source>
        <translation>   (%1 samples)</translation>
    </message>
    <message>
        <source>Waiting for the first sample.</source>
        <translation>Waiting for the first sample.</translation>
    </message>
    <message>
        <source>Interval %1 – %2:  %3</source>
        <translation>Interval %1 – %2:  %3</translation>
    </message>
    <message>
        <source>Interval: no sample yet</source>
        <translation>Interval: no sample yet</translation>
    </message>
    <message>
        <source>Open record file</source>
        <translation>Open record file</translation>
    </message>
    <message>
        <source>Reading %1 …</source>
        <translation>Reading %1 …</translation>
    </message>
    <message>
        <source>Reading %1 was cancelled.</source>
        <translation>Reading %1 was cancelled.</translation>
    </message>
    <message>
        <source>Cannot read the record file: </source>
        <translation>Cannot read the record file: </translation>
    </message>
    <message>
        <source>%1 — %2
%3 to %4 (%5), intervals of %6</source>
        <translation>%1 — %2
%3 to %4 (%5), intervals of %6</translation>
    </message>
    <message>
        <source>%1 s</source>
        <translation>%1 s</translation>
    </message>
    <message>
        <source>%1 min</source>
        <translation>%1 min</translation>
    </message>
    <message>
        <source>Whole file:  %1   (%2 samples, %3 without a level, %4 at estimated instants, %5 overflow, %6 underflow)</source>
        <translation>Whole file:  %1   (%2 samples, %3 without a level, %4 at estimated instants, %5 overflow, %6 underflow)</translation>
    </message>
    <message>
        <source>
Without the marked spans:  %1   (%2 samples left out)</source>
        <translation>
Without the marked spans:  %1   (%2 samples left out)</translation>
    </message>
    <message>
        <source>Marker</source>
        <translation>Marker</translation>
    </message>
    <message>
        <source>Exceedance</source>
        <translation>Exceedance</translation>
    </message>
    <message>
        <source>open</source>
        <translation>open</translation>
    </message>
    <message>
        <source>closed</source>
        <translation>closed</translation>
    </message>
    <message>
        <source>, estimated</source>
        <translation>, estimated</translation>
    </message>
    <message>
        <source>Span %1 – %2: reading …</source>
        <translation>Span %1 – %2: reading …</translation>
    </message>
    <message>
        <source>The span could not be read again from the file.</source>
        <translation>The span could not be read again from the file.</translation>
    </message>
    <message>
        <source>Span %1 – %2 (%3):  %4   (%5 samples)</source>
        <translation>Span %1 – %2 (%3):  %4   (%5 samples)</translation>
    </message>
    <message>
        <source>No record file is open.</source>
        <translation>No record file is open.</translation>
    </message>
    <message>
        <source>PDF report</source>
        <translation>PDF report</translation>
    </message>
</context>
<context>
    <name>kestro::TimeHistoryView</name>
    <message>
        <source>Time history</source>
        <translation>Time history</translation>
    </message>
    <message>
        <source>Wheel or + and -: zoom the time axis. Drag or the arrow keys: pan. Shift+drag, right drag or Shift+arrows: select a span. Double click or Home: everything.</source>
        <translation>Wheel or + and -: zoom the time axis. Drag or the arrow keys: pan. Shift+drag, right drag or Shift+arrows: select a span. Double click or Home: everything.</translation>
    </message>
    <message>
        <source>Open a record file to see its time history.</source>
        <translation>Open a record file to see its time history.</translation>
    </message>
</context>
<context>
    <name>kestro::frmAbout</name>
    <message>
        <source>Systeminformationen sind momentan nicht verfügbar</source>
        <translation>System information is not available at the moment</translation>
    </message>
    <message>
        <source>Version %1.%2.%3  </source>
        <translation>Version %1.%2.%3  </translation>
    </message>
    <message>
        <source>Info to %1</source>
        <translation>About %1</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>&amp;Systeminfo...</source>
        <translation>&amp;System information…</translation>
    </message>
</context>
<context>
    <name>kestro::frmCOMx</name>
    <message>
        <source>COM%1 is not availiable!</source>
        <translation>COM%1 is not available!</translation>
    </message>
</context>
<context>
    <name>kestro::frmKestroRecord</name>
    <message>
        <source>&amp;File</source>
        <translation>&amp;File</translation>
    </message>
    <message>
        <source>E&amp;xit</source>
        <translation>E&amp;xit</translation>
    </message>
    <message>
        <source>&amp;Setup</source>
        <translation>&amp;Setup</translation>
    </message>
    <message>
        <source>&amp;?</source>
        <translation>&amp;?</translation>
    </message>
    <message>
        <source>&amp;About</source>
        <translation>&amp;About</translation>
    </message>
    <message>
        <source>S&amp;tatistics</source>
        <translation>S&amp;tatistics</translation>
    </message>
    <message>
        <source>&amp;Statistics window</source>
        <translation>&amp;Statistics window</translation>
    </message>
    <message>
        <source>&amp;Open record file…</source>
        <translation>&amp;Open record file…</translation>
    </message>
    <message>
        <source>E&amp;vents</source>
        <translation>E&amp;vents</translation>
    </message>
    <message>
        <source>&amp;Mark…</source>
        <translation>&amp;Mark…</translation>
    </message>
    <message>
        <source>Power</source>
        <translation>Power</translation>
    </message>
    <message>
        <source>Record</source>
        <translation>Record</translation>
    </message>
    <message>
        <source>Stop recording</source>
        <translation>Stop recording</translation>
    </message>
    <message>
        <source> Initialisierung</source>
        <translation> Initialisation</translation>
    </message>
    <message>
        <source> Calibration</source>
        <translation> Calibration</translation>
    </message>
    <message>
        <source> Service</source>
        <translation> Service</translation>
    </message>
    <message>
        <source> unknown</source>
        <translation> unknown</translation>
    </message>
    <message>
        <source>Initialisation</source>
        <translation>Initialisation</translation>
    </message>
    <message>
        <source>Service</source>
        <translation>Service</translation>
    </message>
    <message>
        <source>unknown</source>
        <translation>unknown</translation>
    </message>
    <message>
        <source>Recording enabled</source>
        <translation>Recording enabled</translation>
    </message>
    <message>
        <source>Recording disabled</source>
        <translation>Recording disabled</translation>
    </message>
    <message>
        <source>Read the level</source>
        <translation>Read the level</translation>
    </message>
    <message>
        <source>Marks a span of the recording; a second Mark ends it</source>
        <translation>Marks a span of the recording; a second Mark ends it</translation>
    </message>
    <message>
        <source>Front panel keys</source>
        <translation>Front panel keys</translation>
    </message>
    <message>
        <source>Mode</source>
        <translation>Mode</translation>
    </message>
    <message>
        <source>Range</source>
        <translation>Range</translation>
    </message>
    <message>
        <source>Status</source>
        <translation>Status</translation>
    </message>
    <message>
        <source>Recording is armed. Setup stops it while the dialog is open; it resumes when you close Setup.</source>
        <translation>Recording is armed. Setup stops it while the dialog is open; it resumes when you close Setup.</translation>
    </message>
    <message>
        <source>Mark</source>
        <translation>Mark</translation>
    </message>
    <message>
        <source>&amp;Note of the span marked from %1 (Mark again to end it):</source>
        <translation>&amp;Note of the span marked from %1 (Mark again to end it):</translation>
    </message>
    <message>
        <source>Exceedance since %1</source>
        <translation>Exceedance since %1</translation>
    </message>
    <message>
        <source>; LAmax so far %1 dB</source>
        <translation>; LAmax so far %1 dB</translation>
    </message>
    <message>
        <source>Marked since %1</source>
        <translation>Marked since %1</translation>
    </message>
    <message>
        <source>Events: %1</source>
        <translation>Events: %1</translation>
    </message>
    <message>
        <source>No events</source>
        <translation>No events</translation>
    </message>
    <message>
        <source>Record file error: </source>
        <translation>Record file error: </translation>
    </message>
    <message>
        <source>Cal %1 dB %2</source>
        <translation>Cal %1 dB %2</translation>
    </message>
    <message>
        <source>Last calibration check: %1, %2 dB</source>
        <translation>Last calibration check: %1, %2 dB</translation>
    </message>
    <message>
        <source>, meter %1</source>
        <translation>, meter %1</translation>
    </message>
    <message>
        <source>Connected</source>
        <translation>Connected</translation>
    </message>
    <message>
        <source>Not connected</source>
        <translation>Not connected</translation>
    </message>
    <message>
        <source>Exceedance started at %1</source>
        <translation>Exceedance started at %1</translation>
    </message>
    <message>
        <source>Exceedance ended at %1, LAmax %2 dB</source>
        <translation>Exceedance ended at %1, LAmax %2 dB</translation>
    </message>
    <message>
        <source>Cal %1 dB</source>
        <translation>Cal %1 dB</translation>
    </message>
</context>
<context>
    <name>kestro::frmSetup</name>
    <message>
        <source>now %1</source>
        <translation>now %1</translation>
    </message>
    <message>
        <source>Setup</source>
        <translation>Setup</translation>
    </message>
    <message>
        <source>Recording</source>
        <translation>Recording</translation>
    </message>
    <message>
        <source>Optionen für Gruppe 1 festlegen</source>
        <translation>Record files: directory, name, content and format</translation>
    </message>
    <message>
        <source>Interface</source>
        <translation>Interface</translation>
    </message>
    <message>
        <source>Optionen für Gruppe 3 festlegen</source>
        <translation>The meter&apos;s serial port and the language</translation>
    </message>
    <message>
        <source>Statistics</source>
        <translation>Statistics</translation>
    </message>
    <message>
        <source>Interval and limit of the noise statistics</source>
        <translation>Interval and limit of the noise statistics</translation>
    </message>
    <message>
        <source>Measurement details</source>
        <translation>Measurement details</translation>
    </message>
    <message>
        <source>Location, operator, weather, notes and instrument kept beside every series</source>
        <translation>Location, operator, weather, notes and instrument kept beside every series</translation>
    </message>
    <message>
        <source>&amp;Location</source>
        <translation>&amp;Location</translation>
    </message>
    <message>
        <source>O&amp;perator</source>
        <translation>O&amp;perator</translation>
    </message>
    <message>
        <source>&amp;Weather</source>
        <translation>&amp;Weather</translation>
    </message>
    <message>
        <source>No&amp;tes</source>
        <translation>No&amp;tes</translation>
    </message>
    <message>
        <source>Instr&amp;ument</source>
        <translation>Instr&amp;ument</translation>
    </message>
    <message>
        <source>Header Line</source>
        <translation>Header Line</translation>
    </message>
    <message>
        <source>System Time</source>
        <translation>System Time</translation>
    </message>
    <message>
        <source>Overflow</source>
        <translation>Overflow</translation>
    </message>
    <message>
        <source>Underflow</source>
        <translation>Underflow</translation>
    </message>
    <message>
        <source>File Name</source>
        <translation>File Name</translation>
    </message>
    <message>
        <source>Choose the directory</source>
        <translation>Choose the directory</translation>
    </message>
    <message>
        <source>Directory</source>
        <translation>Directory</translation>
    </message>
    <message>
        <source>Base Name</source>
        <translation>Base Name</translation>
    </message>
    <message>
        <source>Extension</source>
        <translation>Extension</translation>
    </message>
    <message>
        <source>File Content</source>
        <translation>File Content</translation>
    </message>
    <message>
        <source>Format Options</source>
        <translation>Format Options</translation>
    </message>
    <message>
        <source>A character, [TAB] or [SPACE]</source>
        <translation>A character, [TAB] or [SPACE]</translation>
    </message>
    <message>
        <source>Decimal Seperator</source>
        <translation>Decimal separator</translation>
    </message>
    <message>
        <source>Tabular Separator</source>
        <translation>Tabular Separator</translation>
    </message>
    <message>
        <source>Serial Interface</source>
        <translation>Serial Interface</translation>
    </message>
    <message>
        <source>COM%1</source>
        <translation>COM%1</translation>
    </message>
    <message>
        <source>Device of COM%1</source>
        <translation>Device of COM%1</translation>
    </message>
    <message>
        <source>Ports that cannot be opened are greyed out. Pick a device from a list to use it for that port.</source>
        <translation>Ports that cannot be opened are greyed out. Pick a device from a list to use it for that port.</translation>
    </message>
    <message>
        <source>Language</source>
        <translation>Language</translation>
    </message>
    <message>
        <source>Automatic (the desktop&apos;s language)</source>
        <translation>Automatic (the desktop&apos;s language)</translation>
    </message>
    <message>
        <source>Windows</source>
        <translation>Windows</translation>
    </message>
    <message>
        <source>Noise Statistics</source>
        <translation>Noise Statistics</translation>
    </message>
    <message>
        <source>%1 s</source>
        <translation>%1 s</translation>
    </message>
    <message>
        <source>%1 min</source>
        <translation>%1 min</translation>
    </message>
    <message>
        <source> dB</source>
        <translation> dB</translation>
    </message>
    <message>
        <source>none</source>
        <translation>none</translation>
    </message>
    <message>
        <source>Intervals whose Leq is above this level are marked; 0 for none</source>
        <translation>Intervals whose Leq is above this level are marked; 0 for none</translation>
    </message>
    <message>
        <source>Interval</source>
        <translation>Interval</translation>
    </message>
    <message>
        <source>Limit (Leq)</source>
        <translation>Limit (Leq)</translation>
    </message>
    <message>
        <source>Each record file gets a statistics file beside it (…_STAT) with one row per interval. Changes apply to the next series.</source>
        <translation>Each record file gets a statistics file beside it (…_STAT) with one row per interval. Changes apply to the next series.</translation>
    </message>
    <message>
        <source>Noise Events</source>
        <translation>Noise Events</translation>
    </message>
    <message>
        <source>An exceedance starts when the level rises above this; 0 for none</source>
        <translation>An exceedance starts when the level rises above this; 0 for none</translation>
    </message>
    <message>
        <source>It ends when the level falls below the event level less this</source>
        <translation>It ends when the level falls below the event level less this</translation>
    </message>
    <message>
        <source> s</source>
        <translation> s</translation>
    </message>
    <message>
        <source>It counts when it lasted at least this long</source>
        <translation>It counts when it lasted at least this long</translation>
    </message>
    <message>
        <source>Desktop notifications</source>
        <translation>Desktop notifications</translation>
    </message>
    <message>
        <source>Event level</source>
        <translation>Event level</translation>
    </message>
    <message>
        <source>Minimum duration</source>
        <translation>Minimum duration</translation>
    </message>
    <message>
        <source>Hysteresis</source>
        <translation>Hysteresis</translation>
    </message>
    <message>
        <source>Exceedances and marked spans go into an events file beside the record file (…_EVENTS), on slow Lp levels or, in LEQ and MAX-Hold, on fast Lp levels. Changes apply to the next series.</source>
        <translation>Exceedances and marked spans go into an events file beside the record file (…_EVENTS), on slow Lp levels or, in LEQ and MAX-Hold, on fast Lp levels. Changes apply to the next series.</translation>
    </message>
    <message>
        <source>Site and conditions</source>
        <translation>Site and conditions</translation>
    </message>
    <message>
        <source>type and class of the sound level meter</source>
        <translation>type and class of the sound level meter</translation>
    </message>
    <message>
        <source>Written into the side file (…_INFO.json) of every series from its start.</source>
        <translation>Written into the side file (…_INFO.json) of every series from its start.</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Abbrechen</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>the command line</source>
        <translation>the command line</translation>
    </message>
    <message>
        <source>Set by the environment variable </source>
        <translation>Set by the environment variable </translation>
    </message>
    <message>
        <source>Set for this run by %1; the stored value is kept</source>
        <translation>Set for this run by %1; the stored value is kept</translation>
    </message>
    <message>
        <source>No serial port is set: choose the port of the meter and press OK.</source>
        <translation>No serial port is set: choose the port of the meter and press OK.</translation>
    </message>
    <message>
        <source>The record directory %1 cannot be written: choose another one and press OK.</source>
        <translation>The record directory %1 cannot be written: choose another one and press OK.</translation>
    </message>
    <message>
        <source>Check the recorder settings and press OK to store them.</source>
        <translation>Check the recorder settings and press OK to store them.</translation>
    </message>
    <message>
        <source>Please enter the character for &quot;%1&quot; (or [TAB] or [SPACE]).</source>
        <translation>Please enter the character for &quot;%1&quot; (or [TAB] or [SPACE]).</translation>
    </message>
    <message>
        <source>Please enter the character for &quot;%1&quot;.</source>
        <translation>Please enter the character for &quot;%1&quot;.</translation>
    </message>
    <message>
        <source>The character &quot;%1&quot; cannot be used as &quot;%2&quot;. Please use a character of the Latin-1 character set.</source>
        <translation>The character &quot;%1&quot; cannot be used as &quot;%2&quot;. Please use a character of the Latin-1 character set.</translation>
    </message>
    <message>
        <source>The &quot;Tabular Separator&quot; cannot be the &quot;Decimal Seperator&quot; too: every number would be split in two. Please choose another character.</source>
        <translation>The &quot;Tabular Separator&quot; cannot be the &quot;Decimal separator&quot; too: every number would be split in two. Please choose another character.</translation>
    </message>
    <message>
        <source>The &quot;%1&quot; %2.</source>
        <translation>The &quot;%1&quot; %2.</translation>
    </message>
    <message>
        <source>The settings could not be saved.

</source>
        <translation>The settings could not be saved.

</translation>
    </message>
    <message>
        <source>Settings file: </source>
        <translation>Settings file: </translation>
    </message>
    <message>
        <source>
The values after this one were not saved.</source>
        <translation>
The values after this one were not saved.</translation>
    </message>
    <message>
        <source>Daily reports</source>
        <translation>Daily reports</translation>
    </message>
    <message>
        <source>When an assessment day ends, its PDF report, interval list and figures go into reports/ of the record directory</source>
        <translation>When an assessment day ends, its PDF report, interval list and figures go into reports/ of the record directory</translation>
    </message>
    <message>
        <source>As the windows</source>
        <translation>As the windows</translation>
    </message>
    <message>
        <source>PDF reports</source>
        <translation>PDF reports</translation>
    </message>
    <message>
        <source>--lang and --report-lang choose for one run; the windows&apos; language applies at the next start, the reports&apos; at once.</source>
        <translation>--lang and --report-lang choose for one run; the windows&apos; language applies at the next start, the reports&apos; at once.</translation>
    </message>
</context>
</TS>
