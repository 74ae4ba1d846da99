<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
<context>
    <name>Report</name>
    <message>
        <source>given with --tz; the side file says %1</source>
        <translation>mit --tz angegeben; die Begleitdatei nennt %1</translation>
    </message>
    <message>
        <source>given with --tz</source>
        <translation>mit --tz angegeben</translation>
    </message>
    <message>
        <source>not given</source>
        <translation>nicht angegeben</translation>
    </message>
    <message>
        <source>not recorded with the measurement</source>
        <translation>nicht mit der Messung aufgezeichnet</translation>
    </message>
    <message>
        <source>event level %1 dB</source>
        <translation>Ereignispegel %1 dB</translation>
    </message>
    <message>
        <source>no event level (marked spans only)</source>
        <translation>kein Ereignispegel (nur markierte Abschnitte)</translation>
    </message>
    <message>
        <source>%1, minimum duration %2 s, hysteresis %3 dB (from the %4)</source>
        <translation>%1, Mindestdauer %2 s, Hysterese %3 dB (aus der %4)</translation>
    </message>
    <message>
        <source>side file</source>
        <translation>Begleitdatei</translation>
    </message>
    <message>
        <source>events file</source>
        <translation>Ereignisdatei</translation>
    </message>
    <message>
        <source>about %1 readings a second</source>
        <translation>etwa %1 Messwerte je Sekunde</translation>
    </message>
    <message>
        <source>one reading a second</source>
        <translation>ein Messwert je Sekunde</translation>
    </message>
    <message>
        <source>one reading every %1 s</source>
        <translation>ein Messwert alle %1 s</translation>
    </message>
    <message>
        <source>not given: days and period lengths as in this computer&apos;s zone, %1 (--tz names another)</source>
        <translation>nicht angegeben: Tage und Periodenlängen wie in der Zeitzone dieses Computers, %1 (--tz nennt eine andere)</translation>
    </message>
    <message>
        <source>%1, which this computer does not know: days and period lengths as in its own zone, %2</source>
        <translation>%1, die dieser Computer nicht kennt: Tage und Periodenlängen wie in seiner eigenen Zeitzone, %2</translation>
    </message>
    <message>
        <source>%1 (UTC%2 at the start)</source>
        <translation>%1 (UTC%2 zu Beginn)</translation>
    </message>
    <message>
        <source>Calibration checks</source>
        <translation>Kalibrierprüfungen</translation>
    </message>
    <message>
        <source>not known</source>
        <translation>nicht bekannt</translation>
    </message>
    <message>
        <source> (another meter)</source>
        <translation> (anderes Messgerät)</translation>
    </message>
    <message>
        <source> (%1 readings)</source>
        <translation> (%1 Messwerte)</translation>
    </message>
    <message>
        <source>before</source>
        <translation>vorher</translation>
    </message>
    <message>
        <source>after</source>
        <translation>nachher</translation>
    </message>
    <message>
        <source>before, not vouched for</source>
        <translation>vorher, nicht verbürgt</translation>
    </message>
    <message>
        <source>after, not vouched for</source>
        <translation>nachher, nicht verbürgt</translation>
    </message>
    <message>
        <source>No calibration check is known before or after the measurement.</source>
        <translation>Vor und nach der Messung ist keine Kalibrierprüfung bekannt.</translation>
    </message>
    <message>
        <source>Check</source>
        <translation>Prüfung</translation>
    </message>
    <message>
        <source>Date and time</source>
        <translation>Datum und Uhrzeit</translation>
    </message>
    <message>
        <source>Level</source>
        <translation>Pegel</translation>
    </message>
    <message>
        <source>Meter serial number</source>
        <translation>Seriennummer des Messgeräts</translation>
    </message>
    <message>
        <source>Checks not vouched for by a closed side file (added to the calibration log after it, or of a series never closed) enter no figure here.</source>
        <translation>Prüfungen, für die keine abgeschlossene Begleitdatei bürgt (nach ihr in das Kalibrierprotokoll eingetragen oder aus einer nie abgeschlossenen Serie), gehen in keinen Wert hier ein.</translation>
    </message>
    <message>
        <source> Warning: more than %1 dB; the levels may be off by as much.</source>
        <translation> Warnung: mehr als %1 dB; die Pegel können um so viel abweichen.</translation>
    </message>
    <message>
        <source>Events and markers</source>
        <translation>Ereignisse und Markierungen</translation>
    </message>
    <message>
        <source>No events file (%1) lies beside the record file: nothing was marked, and no exceedance was watched for while it was recorded.</source>
        <translation>Neben der Messdatei liegt keine Ereignisdatei (%1): nichts wurde markiert, und während der Aufzeichnung wurde auf keine Überschreitung geachtet.</translation>
    </message>
    <message>
        <source>Not vouched for: no closed side file speaks for %1 (its series was never closed, or its side file is missing); its rows are used as they are.</source>
        <translation>Nicht verbürgt: keine abgeschlossene Begleitdatei bürgt für %1 (ihre Serie wurde nie abgeschlossen, oder ihre Begleitdatei fehlt); ihre Zeilen werden so verwendet, wie sie sind.</translation>
    </message>
    <message>
        <source>Exceedances of the event level: %1. Marked spans: %2. From %3. An exceedance starts when the level rises above the event level and ends when it falls below that level less the hysteresis; it counts when it lasted the minimum duration. SEL = LAeq + 10 lg(duration / 1 s).</source>
        <translation>Überschreitungen des Ereignispegels: %1. Markierte Abschnitte: %2. Aus %3. Eine Überschreitung beginnt, wenn der Pegel über den Ereignispegel steigt, und endet, wenn er unter diesen Pegel abzüglich der Hysterese fällt; sie zählt, wenn sie die Mindestdauer anhielt. SEL = LAeq + 10 lg(Dauer / 1 s).</translation>
    </message>
    <message>
        <source>Date</source>
        <translation>Datum</translation>
    </message>
    <message>
        <source>Exceedances</source>
        <translation>Überschreitungen</translation>
    </message>
    <message>
        <source>Marked spans</source>
        <translation>Markierte Abschnitte</translation>
    </message>
    <message>
        <source>Exceedances by hour</source>
        <translation>Überschreitungen nach Stunde</translation>
    </message>
    <message>
        <source>%1 to %2, %3%4: LAmax %5 %6, LAeq %7 %6, SEL %8 %6</source>
        <translation>%1 bis %2, %3%4: LAmax %5 %6, LAeq %7 %6, SEL %8 %6</translation>
    </message>
    <message>
        <source> (cut short by the end of the series)</source>
        <translation> (durch das Ende der Serie abgebrochen)</translation>
    </message>
    <message>
        <source>Marker</source>
        <translation>Markierung</translation>
    </message>
    <message>
        <source>Exceedance</source>
        <translation>Überschreitung</translation>
    </message>
    <message>
        <source>open</source>
        <translation>offen</translation>
    </message>
    <message>
        <source>Kind</source>
        <translation>Art</translation>
    </message>
    <message>
        <source>Start</source>
        <translation>Beginn</translation>
    </message>
    <message>
        <source>End</source>
        <translation>Ende</translation>
    </message>
    <message>
        <source>Duration</source>
        <translation>Dauer</translation>
    </message>
    <message>
        <source>Note</source>
        <translation>Notiz</translation>
    </message>
    <message>
        <source>Not vouched for: %1 rows of %2 that no closed side file vouches for (written after its series was closed, or changed since). They are counted nowhere in this report and leave no span out of any level.</source>
        <translation>Nicht verbürgt: %1 Zeilen von %2, für die keine abgeschlossene Begleitdatei bürgt (nach dem Abschluss ihrer Serie geschrieben oder seitdem geändert). Sie werden in diesem Bericht nirgends gezählt und nehmen keinen Abschnitt aus einem Pegel heraus.</translation>
    </message>
    <message>
        <source>Nothing was marked: no span is left out of any level.</source>
        <translation>Nichts wurde markiert: kein Abschnitt bleibt bei einem Pegel außen vor.</translation>
    </message>
    <message>
        <source>A running maximum gives no LAeq: the marked spans leave no level out.</source>
        <translation>Ein laufendes Maximum ergibt keinen LAeq: die markierten Abschnitte nehmen keinen Pegel heraus.</translation>
    </message>
    <message>
        <source>%1 of the whole recording: %2 %3. Without the %4 marked spans (%5 of %6 samples left out): %7 %3.</source>
        <translation>%1 der ganzen Aufzeichnung: %2 %3. Ohne die %4 markierten Abschnitte (%5 von %6 Werten ausgelassen): %7 %3.</translation>
    </message>
    <message>
        <source>Noise measurement report</source>
        <translation>Bericht der Lärmmessung</translation>
    </message>
    <message>
        <source> %1 (LAeq per interval)</source>
        <translation> %1 (LAeq je Intervall)</translation>
    </message>
    <message>
        <source>none</source>
        <translation>keiner</translation>
    </message>
    <message>
        <source>, %1 without a level (not counted)</source>
        <translation>, %1 ohne Pegel (nicht gezählt)</translation>
    </message>
    <message>
        <source>, %1 at estimated instants</source>
        <translation>, %1 zu geschätzten Zeitpunkten</translation>
    </message>
    <message>
        <source>not reported by the meter</source>
        <translation>vom Messgerät nicht gemeldet</translation>
    </message>
    <message>
        <source>software %1, hardware %2</source>
        <translation>Software %1, Hardware %2</translation>
    </message>
    <message>
        <source>not reported</source>
        <translation>nicht gemeldet</translation>
    </message>
    <message>
        <source>Instrument type and class</source>
        <translation>Gerätetyp und Klasse</translation>
    </message>
    <message>
        <source>Meter revisions</source>
        <translation>Stände des Messgeräts</translation>
    </message>
    <message>
        <source>Recorded with</source>
        <translation>Aufgezeichnet mit</translation>
    </message>
    <message>
        <source>Report made with</source>
        <translation>Bericht erstellt mit</translation>
    </message>
    <message>
        <source>Record file</source>
        <translation>Messdatei</translation>
    </message>
    <message>
        <source>Measured value</source>
        <translation>Messgröße</translation>
    </message>
    <message>
        <source>Statistics</source>
        <translation>Statistik</translation>
    </message>
    <message>
        <source>, in </source>
        <translation>, in </translation>
    </message>
    <message>
        <source>Location</source>
        <translation>Messort</translation>
    </message>
    <message>
        <source>Operator</source>
        <translation>Messende Person</translation>
    </message>
    <message>
        <source>Weather</source>
        <translation>Wetter</translation>
    </message>
    <message>
        <source>Notes</source>
        <translation>Notizen</translation>
    </message>
    <message>
        <source>Time zone</source>
        <translation>Zeitzone</translation>
    </message>
    <message>
        <source> (%1 samples)</source>
        <translation> (%1 Werte)</translation>
    </message>
    <message>
        <source>Event criteria</source>
        <translation>Ereigniskriterien</translation>
    </message>
    <message>
        <source>Interval</source>
        <translation>Intervall</translation>
    </message>
    <message>
        <source>Limit</source>
        <translation>Grenzwert</translation>
    </message>
    <message>
        <source>Samples</source>
        <translation>Werte</translation>
    </message>
    <message>
        <source>Flag column</source>
        <translation>Kennzeichenspalte</translation>
    </message>
    <message>
        <source>no header line and one flag column after the level: read as %1 (%2)</source>
        <translation>keine Kopfzeile und eine Kennzeichenspalte nach dem Pegel: gelesen als %1 (%2)</translation>
    </message>
    <message>
        <source>underflow</source>
        <translation>Untersteuerung</translation>
    </message>
    <message>
        <source>overflow</source>
        <translation>Übersteuerung</translation>
    </message>
    <message>
        <source>as given</source>
        <translation>wie angegeben</translation>
    </message>
    <message>
        <source>assumed</source>
        <translation>angenommen</translation>
    </message>
    <message>
        <source>not checked</source>
        <translation>nicht geprüft</translation>
    </message>
    <message>
        <source>File verification</source>
        <translation>Dateiprüfung</translation>
    </message>
    <message>
        <source>Note: </source>
        <translation>Hinweis: </translation>
    </message>
    <message>
        <source>Levels are in %1 as the meter displays them; the meter does not report its time weighting over the serial line. </source>
        <translation>Pegel in %1, wie das Messgerät sie anzeigt; seine Zeitbewertung meldet das Messgerät über die serielle Leitung nicht. </translation>
    </message>
    <message>
        <source>Time history</source>
        <translation>Pegelverlauf</translation>
    </message>
    <message>
        <source>Lowest and highest value of every pixel column; dashed lines mark midnight</source>
        <translation>Niedrigster und höchster Wert jeder Pixelspalte; gestrichelte Linien markieren Mitternacht</translation>
    </message>
    <message>
        <source>, the red line the limit</source>
        <translation>, die rote Linie den Grenzwert</translation>
    </message>
    <message>
        <source>; orange bands are exceedances, blue ones marked spans</source>
        <translation>; orange Bänder sind Überschreitungen, blaue markierte Abschnitte</translation>
    </message>
    <message>
        <source>Summary of the whole recording</source>
        <translation>Zusammenfassung der ganzen Aufzeichnung</translation>
    </message>
    <message>
        <source>Overflow</source>
        <translation>Übersteuerung</translation>
    </message>
    <message>
        <source>Underflow</source>
        <translation>Untersteuerung</translation>
    </message>
    <message>
        <source>LAN is the level reached or exceeded by N % of the samples.</source>
        <translation>LAN ist der Pegel, den N % der Werte erreichen oder überschreiten.</translation>
    </message>
    <message>
        <source>The meter holds the highest level since the series began: an interval&apos;s LAmax is that value at the interval&apos;s end, not the highest level within the interval alone. A running maximum gives no LAeq, LAmin or LAN.</source>
        <translation>Das Messgerät hält den höchsten Pegel seit Beginn der Serie: der LAmax eines Intervalls ist dieser Wert am Ende des Intervalls, nicht der höchste Pegel allein innerhalb des Intervalls. Ein laufendes Maximum ergibt keinen LAeq, LAmin oder LAN.</translation>
    </message>
    <message>
        <source>Raw amplitudes give an Leq (the mean of their squares) and nothing else.</source>
        <translation>Rohe Amplituden ergeben einen Leq (den Mittelwert ihrer Quadrate) und sonst nichts.</translation>
    </message>
    <message>
        <source>Day, evening and night levels</source>
        <translation>Tages-, Abend- und Nachtpegel</translation>
    </message>
    <message>
        <source>A running maximum gives no day levels.</source>
        <translation>Ein laufendes Maximum ergibt keine Tagespegel.</translation>
    </message>
    <message>
        <source>day</source>
        <translation>Tag</translation>
    </message>
    <message>
        <source>evening</source>
        <translation>Abend</translation>
    </message>
    <message>
        <source>night</source>
        <translation>Nacht</translation>
    </message>
    <message>
        <source>Assessment day</source>
        <translation>Beurteilungstag</translation>
    </message>
    <message>
        <source>Intervals over the limit</source>
        <translation>Intervalle über dem Grenzwert</translation>
    </message>
    <message>
        <source>No limit was set.</source>
        <translation>Es war kein Grenzwert eingestellt.</translation>
    </message>
    <message>
        <source>No interval has an LAeq above %1 %2.</source>
        <translation>Kein Intervall hat einen LAeq über %1 %2.</translation>
    </message>
    <message>
        <source>%1 of %2 intervals have an LAeq above %3 %4, the highest %5 %4 from %6 to %7; they are red and marked &gt; in the interval table%8.</source>
        <translation>%1 von %2 Intervallen haben einen LAeq über %3 %4, der höchste %5 %4 von %6 bis %7; sie sind in der Intervalltabelle%8 rot und mit &gt; gekennzeichnet.</translation>
    </message>
    <message>
        <source> beside this report</source>
        <translation> neben diesem Bericht</translation>
    </message>
    <message>
        <source>Ovf.</source>
        <translation>Übst.</translation>
    </message>
    <message>
        <source>Unf.</source>
        <translation>Unst.</translation>
    </message>
    <message>
        <source>Marks</source>
        <translation>Kennz.</translation>
    </message>
    <message>
        <source>Clock hours</source>
        <translation>Stunden der Uhr</translation>
    </message>
    <message>
        <source>Intervals of %1</source>
        <translation>Intervalle von %1</translation>
    </message>
    <message>
        <source>The recording has %1 intervals of %2: the table lists clock hours, every interval is in %3 beside this report.</source>
        <translation>Die Aufzeichnung hat %1 Intervalle von %2: die Tabelle listet die Stunden der Uhr, jedes Intervall steht in %3 neben diesem Bericht.</translation>
    </message>
    <message>
        <source>The file holds no level.</source>
        <translation>Die Datei enthält keinen Pegel.</translation>
    </message>
    <message>
        <source>Marks: O overload, U under-range, E instants estimated (lines without a time), &gt; over the limit, R the meter started its measurement again, ~ no LAeq within the resolution of the readings.</source>
        <translation>Kennzeichen: O Übersteuerung, U Untersteuerung, E Zeitpunkte geschätzt (Zeilen ohne Zeit), &gt; über dem Grenzwert, R das Messgerät hat seine Messung neu begonnen, ~ kein LAeq innerhalb der Auflösung der Messwerte.</translation>
    </message>
    <message>
        <source>Page %1 of %2</source>
        <translation>Seite %1 von %2</translation>
    </message>
    <message>
        <source>the A-weighted sound level at each reading</source>
        <translation>der A-bewertete Schallpegel zu jedem Messwert</translation>
    </message>
    <message>
        <source>the A-weighted equivalent level LAeq, integrated by the meter since it started its measurement (with the series)</source>
        <translation>der A-bewertete äquivalente Dauerschallpegel LAeq, vom Messgerät integriert, seit es seine Messung begann (mit der Serie)</translation>
    </message>
    <message>
        <source>the highest A-weighted level since the meter started its measurement (with the series)</source>
        <translation>der höchste A-bewertete Pegel, seit das Messgerät seine Messung begann (mit der Serie)</translation>
    </message>
    <message>
        <source>raw amplitudes, as levels 20 lg v</source>
        <translation>rohe Amplituden, als Pegel 20 lg v</translation>
    </message>
    <message>
        <source>not known from the file name: read as sound levels</source>
        <translation>aus dem Dateinamen nicht bekannt: als Schallpegel gelesen</translation>
    </message>
    <message>
        <source> (fast values): </source>
        <translation> (schnelle Werte): </translation>
    </message>
    <message>
        <source>Noise measurement report: </source>
        <translation>Bericht der Lärmmessung: </translation>
    </message>
    <message>
        <source>The meter integrates LAeq from the start of the series; an interval&apos;s LAeq is (T2·10^(L2/10) − T1·10^(L1/10)) / (T2 − T1), T counted from the series&apos; first reading, L1 the reading before the interval and L2 its last. Where the 0.1 dB resolution of the readings leaves that more than ±0.3 dB uncertain, the interval has none (~). A running LAeq gives no LAmax, LAmin or LAN.</source>
        <translation>Das Messgerät integriert den LAeq ab dem Beginn der Serie; der LAeq eines Intervalls ist (T2·10^(L2/10) − T1·10^(L1/10)) / (T2 − T1), T gezählt ab dem ersten Messwert der Serie, L1 der Messwert vor dem Intervall und L2 sein letzter. Wo die Auflösung der Messwerte von 0,1 dB ihn um mehr als ±0,3 dB unsicher lässt, hat das Intervall keinen (~). Ein laufender LAeq ergibt keinen LAmax, LAmin oder LAN.</translation>
    </message>
    <message>
        <source>An assessment day runs from %1:00 to %1:00 of the next date; in brackets the hours the recording covers. Lden = 10 lg((hd·10^(Ld/10) + he·10^((Le+5)/10) + hn·10^((Ln+10)/10)) / 24) and LAeq,24h likewise without the additions, with the hours of each period (hn is 7 or 9 and the day 23 or 25 hours when daylight saving time begins or ends). Both are given only when every period is covered to at least %2 %; otherwise the coverage of the periods that fall short. E: instants estimated.</source>
        <translation>Ein Beurteilungstag reicht von %1:00 bis %1:00 des nächsten Datums; in Klammern die Stunden, die die Aufzeichnung abdeckt. Lden = 10 lg((hd·10^(Ld/10) + he·10^((Le+5)/10) + hn·10^((Ln+10)/10)) / 24) und LAeq,24h ebenso ohne die Zuschläge, mit den Stunden jeder Periode (hn ist 7 oder 9 und der Tag 23 oder 25 Stunden, wenn die Sommerzeit beginnt oder endet). Beide werden nur angegeben, wenn jede Periode zu mindestens %2 % abgedeckt ist; sonst die Abdeckung der Perioden, die darunter bleiben. E: Zeitpunkte geschätzt.</translation>
    </message>
    <message>
        <source>The figures come from the fast stream (%1), %2.</source>
        <translation>Die Werte stammen aus dem schnellen Datenstrom (%1), %2.</translation>
    </message>
    <message>
        <source>The figures come from the slow stream (%1), %2.</source>
        <translation>Die Werte stammen aus dem langsamen Datenstrom (%1), %2.</translation>
    </message>
    <message>
        <source> The slow stream of the same measurement is in %1; the two differ where the level changes faster than the slow readings follow (a slow running value is integrated since the meter started). Report on the fast stream for short events, on the slow one for long-term levels, and say which.</source>
        <translation> Der langsame Datenstrom derselben Messung liegt in %1; die beiden unterscheiden sich, wo der Pegel sich schneller ändert, als die langsamen Messwerte folgen (ein langsamer laufender Wert ist seit dem Start des Messgeräts integriert). Berichten Sie für kurze Ereignisse über den schnellen Datenstrom, für Langzeitpegel über den langsamen, und sagen Sie, über welchen.</translation>
    </message>
    <message>
        <source> The fast stream of the same measurement is in %1; the two differ where the level changes faster than the slow readings follow (a slow running value is integrated since the meter started). Report on the fast stream for short events, on the slow one for long-term levels, and say which.</source>
        <translation> Der schnelle Datenstrom derselben Messung liegt in %1; die beiden unterscheiden sich, wo der Pegel sich schneller ändert, als die langsamen Messwerte folgen (ein langsamer laufender Wert ist seit dem Start des Messgeräts integriert). Berichten Sie für kurze Ereignisse über den schnellen Datenstrom, für Langzeitpegel über den langsamen, und sagen Sie, über welchen.</translation>
    </message>
    <message>
        <source>Drift between the last check before and the first check after the measurement: %1%2 dB.</source>
        <translation>Drift zwischen der letzten Prüfung vor und der ersten Prüfung nach der Messung: %1%2 dB.</translation>
    </message>
    <message>
        <source>No check before the measurement: the drift is not known.</source>
        <translation>Keine Prüfung vor der Messung: die Drift ist nicht bekannt.</translation>
    </message>
    <message>
        <source>No check after the measurement: the drift is not known.</source>
        <translation>Keine Prüfung nach der Messung: die Drift ist nicht bekannt.</translation>
    </message>
</context>
<context>
    <name>WebPage</name>
    <message>
        <source>meter —</source>
        <translation>Messgerät —</translation>
    </message>
    <message>
        <source>connecting…</source>
        <translation>verbinde…</translation>
    </message>
    <message>
        <source>This station needs its token:</source>
        <translation>Diese Station braucht ihr Token:</translation>
    </message>
    <message>
        <source>Show</source>
        <translation>Anzeigen</translation>
    </message>
    <message>
        <source>Meter</source>
        <translation>Messgerät</translation>
    </message>
    <message>
        <source>Sound level</source>
        <translation>Schallpegel</translation>
    </message>
    <message>
        <source>unknown</source>
        <translation>unbekannt</translation>
    </message>
    <message>
        <source>Recording</source>
        <translation>Aufzeichnung</translation>
    </message>
    <message>
        <source>Function</source>
        <translation>Funktion</translation>
    </message>
    <message>
        <source>Range</source>
        <translation>Messbereich</translation>
    </message>
    <message>
        <source>Battery</source>
        <translation>Batterie</translation>
    </message>
    <message>
        <source>Station time</source>
        <translation>Uhrzeit der Station</translation>
    </message>
    <message>
        <source>Noise events</source>
        <translation>Lärmereignisse</translation>
    </message>
    <message>
        <source>No exceedance yet.</source>
        <translation>Noch keine Überschreitung.</translation>
    </message>
    <message>
        <source>Slow level, last 10 minutes</source>
        <translation>Pegel (langsam), letzte 10 Minuten</translation>
    </message>
    <message>
        <source>Slow level over the last ten minutes</source>
        <translation>Pegel (langsam) der letzten zehn Minuten</translation>
    </message>
    <message>
        <source>Statistics</source>
        <translation>Statistik</translation>
    </message>
    <message>
        <source>No statistics yet: they begin with a recording.</source>
        <translation>Noch keine Statistik: sie beginnt mit einer Aufzeichnung.</translation>
    </message>
    <message>
        <source>Files</source>
        <translation>Dateien</translation>
    </message>
    <message>
        <source>File</source>
        <translation>Datei</translation>
    </message>
    <message>
        <source>Kind</source>
        <translation>Art</translation>
    </message>
    <message>
        <source>Size</source>
        <translation>Größe</translation>
    </message>
    <message>
        <source>Modified</source>
        <translation>Geändert</translation>
    </message>
    <message>
        <source>Duration</source>
        <translation>Dauer</translation>
    </message>
    <message>
        <source>State</source>
        <translation>Zustand</translation>
    </message>
    <message>
        <source>None yet.</source>
        <translation>Noch keine.</translation>
    </message>
    <message>
        <source>Daily reports</source>
        <translation>Tagesberichte</translation>
    </message>
    <message>
        <source>Day</source>
        <translation>Tag</translation>
    </message>
    <message>
        <source>Events</source>
        <translation>Ereignisse</translation>
    </message>
    <message>
        <source>Report</source>
        <translation>Bericht</translation>
    </message>
    <message>
        <source>token needed</source>
        <translation>Token nötig</translation>
    </message>
    <message>
        <source>The station refused this token.</source>
        <translation>Die Station hat dieses Token abgelehnt.</translation>
    </message>
    <message>
        <source>online</source>
        <translation>verbunden</translation>
    </message>
    <message>
        <source>offline</source>
        <translation>getrennt</translation>
    </message>
    <message>
        <source>recording</source>
        <translation>zeichnet auf</translation>
    </message>
    <message>
        <source>not recording</source>
        <translation>keine Aufzeichnung</translation>
    </message>
    <message>
        <source>meter %1</source>
        <translation>Messgerät %1</translation>
    </message>
    <message>
        <source>Exceedance of %1 dB since %2</source>
        <translation>Überschreitung von %1 dB seit %2</translation>
    </message>
    <message>
        <source>Last exceedance %1, %2</source>
        <translation>Letzte Überschreitung %1, %2</translation>
    </message>
    <message>
        <source> (cut short)</source>
        <translation> (abgebrochen)</translation>
    </message>
    <message>
        <source> — %1 in this run</source>
        <translation> — %1 in diesem Lauf</translation>
    </message>
    <message>
        <source>slow</source>
        <translation>langsam</translation>
    </message>
    <message>
        <source>fast</source>
        <translation>schnell</translation>
    </message>
    <message>
        <source>%1 (%2), intervals of %3</source>
        <translation>%1 (%2), Intervalle von %3</translation>
    </message>
    <message>
        <source>, limit %1 dB</source>
        <translation>, Grenzwert %1 dB</translation>
    </message>
    <message>
        <source>, ended</source>
        <translation>, beendet</translation>
    </message>
    <message>
        <source>%1 since start</source>
        <translation>%1 seit Beginn</translation>
    </message>
    <message>
        <source>Interval %1</source>
        <translation>Intervall %1</translation>
    </message>
    <message>
        <source>Interval</source>
        <translation>Intervall</translation>
    </message>
    <message>
        <source>Samples</source>
        <translation>Werte</translation>
    </message>
    <message>
        <source>No completed interval yet.</source>
        <translation>Noch kein abgeschlossenes Intervall.</translation>
    </message>
    <message>
        <source>record</source>
        <translation>Messdatei</translation>
    </message>
    <message>
        <source>statistics</source>
        <translation>Statistik</translation>
    </message>
    <message>
        <source>events</source>
        <translation>Ereignisse</translation>
    </message>
    <message>
        <source>side</source>
        <translation>Begleitdatei</translation>
    </message>
    <message>
        <source>signature</source>
        <translation>Signatur</translation>
    </message>
    <message>
        <source>timestamp</source>
        <translation>Zeitstempel</translation>
    </message>
    <message>
        <source>calibration</source>
        <translation>Kalibrierung</translation>
    </message>
    <message>
        <source>report</source>
        <translation>Bericht</translation>
    </message>
    <message>
        <source>open</source>
        <translation>offen</translation>
    </message>
    <message>
        <source>closed</source>
        <translation>abgeschlossen</translation>
    </message>
    <message>
        <source>nothing recorded</source>
        <translation>nichts aufgezeichnet</translation>
    </message>
    <message>
        <source>live</source>
        <translation>live</translation>
    </message>
    <message>
        <source>reconnecting…</source>
        <translation>verbinde erneut…</translation>
    </message>
</context>
<context>
    <name>kestro::DesktopApplication</name>
    <message>
        <source>No serial port is set: choose one in Setup</source>
        <translation>Keine serielle Schnittstelle eingestellt: eine im Setup wählen</translation>
    </message>
</context>
<context>
    <name>kestro::DisplayPanel</name>
    <message>
        <source>Initialisation</source>
        <translation>Initialisierung</translation>
    </message>
    <message>
        <source>Calibration</source>
        <translation>Kalibrierung</translation>
    </message>
    <message>
        <source>Service</source>
        <translation>Service</translation>
    </message>
    <message>
        <source>battery empty</source>
        <translation>Batterie leer</translation>
    </message>
    <message>
        <source>battery low</source>
        <translation>Batterie schwach</translation>
    </message>
    <message>
        <source>battery full</source>
        <translation>Batterie voll</translation>
    </message>
    <message>
        <source>%1 earlier</source>
        <translation>%1 zuvor</translation>
    </message>
    <message>
        <source>%1 now and earlier</source>
        <translation>%1 jetzt und zuvor</translation>
    </message>
    <message>
        <source>Level: segment test</source>
        <translation>Pegel: Segmenttest</translation>
    </message>
    <message>
        <source>Level over range</source>
        <translation>Pegel über dem Bereich</translation>
    </message>
    <message>
        <source>Level under range</source>
        <translation>Pegel unter dem Bereich</translation>
    </message>
    <message>
        <source>Level: no reading</source>
        <translation>Pegel: kein Messwert</translation>
    </message>
    <message>
        <source>Level: error reading (Err)</source>
        <translation>Pegel: Fehlmessung (Err)</translation>
    </message>
    <message>
        <source>Level %1 dB</source>
        <translation>Pegel %1 dB</translation>
    </message>
    <message>
        <source>overflow</source>
        <translation>Übersteuerung</translation>
    </message>
    <message>
        <source>underflow</source>
        <translation>Untersteuerung</translation>
    </message>
</context>
<context>
    <name>kestro::EventNotifier</name>
    <message>
        <source>Noise event ended</source>
        <translation>Lärmereignis beendet</translation>
    </message>
    <message>
        <source>Noise event: above %1 dB</source>
        <translation>Lärmereignis: über %1 dB</translation>
    </message>
    <message>
        <source>%1 – %2, %3 s%4: LAmax %5, SEL %6</source>
        <translation>%1 – %2, %3 s%4: LAmax %5, SEL %6</translation>
    </message>
    <message>
        <source> (cut short)</source>
        <translation> (abgebrochen)</translation>
    </message>
    <message>
        <source>Since %1 (%2), LAmax so far %3</source>
        <translation>Seit %1 (%2), LAmax bisher %3</translation>
    </message>
</context>
<context>
    <name>kestro::EventRecorder</name>
    <message>
        <source>slow %1 levels above %2 dB</source>
        <translation>langsame %1-Pegel über %2 dB</translation>
    </message>
    <message>
        <source>fast %1 levels above %2 dB</source>
        <translation>schnelle %1-Pegel über %2 dB</translation>
    </message>
    <message>
        <source>no event level set</source>
        <translation>keine Ereignisschwelle eingestellt</translation>
    </message>
    <message>
        <source>%1 values are no instant levels</source>
        <translation>%1-Werte sind keine Momentanpegel</translation>
    </message>
</context>
<context>
    <name>kestro::FileList</name>
    <message>
        <source>Record files</source>
        <translation>Messdateien</translation>
    </message>
    <message>
        <source>Start</source>
        <translation>Beginn</translation>
    </message>
    <message>
        <source>Duration</source>
        <translation>Dauer</translation>
    </message>
    <message>
        <source>File name</source>
        <translation>Dateiname</translation>
    </message>
</context>
<context>
    <name>kestro::IntervalBarChart</name>
    <message>
        <source>Interval levels</source>
        <translation>Intervallpegel</translation>
    </message>
    <message>
        <source>No interval yet</source>
        <translation>Noch kein Intervall</translation>
    </message>
    <message>
        <source>LAeq of %1 intervals from %2 to %3</source>
        <translation>LAeq von %1 Intervallen von %2 bis %3</translation>
    </message>
    <message>
        <source>, %1 to %2 dB</source>
        <translation>, %1 bis %2 dB</translation>
    </message>
    <message>
        <source>; %1 above the limit of %2 dB</source>
        <translation>; %1 über dem Grenzwert von %2 dB</translation>
    </message>
</context>
<context>
    <name>kestro::RecordingViews</name>
    <message>
        <source>Level graph</source>
        <translation>Pegelverlauf</translation>
    </message>
    <message>
        <source>The slow level of the recording over the time of day</source>
        <translation>Der langsame Pegel der Aufzeichnung über der Tageszeit</translation>
    </message>
</context>
<context>
    <name>kestro::Session</name>
    <message>
        <source>%1 disconnected — retrying</source>
        <translation>%1 getrennt — neuer Versuch läuft</translation>
    </message>
    <message>
        <source>%1 not connected — retrying</source>
        <translation>%1 nicht verbunden — neuer Versuch läuft</translation>
    </message>
</context>
<context>
    <name>kestro::SettingsSchema</name>
    <message>
        <source>must not contain &quot;/&quot;</source>
        <translation>darf kein „/“ enthalten</translation>
    </message>
    <message>
        <source>must not contain &quot;..&quot;</source>
        <translation>darf kein „..“ enthalten</translation>
    </message>
    <message>
        <source>must not contain control characters</source>
        <translation>darf keine Steuerzeichen enthalten</translation>
    </message>
</context>
<context>
    <name>kestro::StatisticsWindow</name>
    <message>
        <source>Start</source>
        <translation>Beginn</translation>
    </message>
    <message>
        <source>End</source>
        <translation>Ende</translation>
    </message>
    <message>
        <source>Samples</source>
        <translation>Werte</translation>
    </message>
    <message>
        <source>Overflow</source>
        <translation>Übersteuerung</translation>
    </message>
    <message>
        <source>Underflow</source>
        <translation>Untersteuerung</translation>
    </message>
    <message>
        <source>Marks</source>
        <translation>Hinweise</translation>
    </message>
    <message>
        <source> (since the series began)</source>
        <translation> (seit Beginn der Reihe)</translation>
    </message>
    <message>
        <source> (beyond the resolution of the readings)</source>
        <translation> (jenseits der Auflösung der Messwerte)</translation>
    </message>
    <message>
        <source>Select a span with Shift+drag, the right mouse button or Shift+arrow keys.</source>
        <translation>Einen Abschnitt mit Umschalt+Ziehen, der rechten Maustaste oder Umschalt+Pfeiltasten wählen.</translation>
    </message>
    <message>
        <source>over limit</source>
        <translation>über Grenzwert</translation>
    </message>
    <message>
        <source>overload</source>
        <translation>Übersteuerung</translation>
    </message>
    <message>
        <source>under-range</source>
        <translation>Untersteuerung</translation>
    </message>
    <message>
        <source>estimated</source>
        <translation>geschätzt</translation>
    </message>
    <message>
        <source>meter restarted</source>
        <translation>Messgerät neu gestartet</translation>
    </message>
    <message>
        <source>beyond resolution</source>
        <translation>jenseits der Auflösung</translation>
    </message>
    <message>
        <source>Statistics</source>
        <translation>Statistik</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Schließen</translation>
    </message>
    <message>
        <source>Current recording</source>
        <translation>Laufende Aufzeichnung</translation>
    </message>
    <message>
        <source>Record file</source>
        <translation>Messdatei</translation>
    </message>
    <message>
        <source>Time history, %1 to %2</source>
        <translation>Pegelverlauf, %1 bis %2</translation>
    </message>
    <message>
        <source>Slow values</source>
        <translation>Langsame Werte</translation>
    </message>
    <message>
        <source>Fast values</source>
        <translation>Schnelle Werte</translation>
    </message>
    <message>
        <source>Analyse this record file</source>
        <translation>Diese Messdatei auswerten</translation>
    </message>
    <message>
        <source>Intervals, %1</source>
        <translation>Intervalle, %1</translation>
    </message>
    <message>
        <source>Open record file…</source>
        <translation>Messdatei öffnen…</translation>
    </message>
    <message>
        <source>PDF report…</source>
        <translation>PDF-Bericht…</translation>
    </message>
    <message>
        <source>Reading %p%</source>
        <translation>Lesen %p%</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>No record file opened.</source>
        <translation>Keine Messdatei geöffnet.</translation>
    </message>
    <message>
        <source>Intervals of the record file</source>
        <translation>Intervalle der Messdatei</translation>
    </message>
    <message>
        <source>Day levels</source>
        <translation>Tagespegel</translation>
    </message>
    <message>
        <source>Assessment day</source>
        <translation>Beurteilungstag</translation>
    </message>
    <message>
        <source>Intervals</source>
        <translation>Intervalle</translation>
    </message>
    <message>
        <source>Interval levels</source>
        <translation>Intervallpegel</translation>
    </message>
    <message>
        <source>Events and markers</source>
        <translation>Ereignisse und Markierungen</translation>
    </message>
    <message>
        <source>Kind</source>
        <translation>Art</translation>
    </message>
    <message>
        <source>Duration</source>
        <translation>Dauer</translation>
    </message>
    <message>
        <source>State</source>
        <translation>Zustand</translation>
    </message>
    <message>
        <source>Note</source>
        <translation>Notiz</translation>
    </message>
    <message>
        <source>Noise events: not recording.</source>
        <translation>Lärmereignisse: keine Aufzeichnung.</translation>
    </message>
    <message>
        <source>Noise events: %1; %2 counted in this run.</source>
        <translation>Lärmereignisse: %1; %2 in diesem Lauf gezählt.</translation>
    </message>
    <message>
        <source>Noise events: none watched (%1).</source>
        <translation>Lärmereignisse: keine überwacht (%1).</translation>
    </message>
    <message>
        <source> Exceedance since %1, LAmax so far %2 dB.</source>
        <translation> Überschreitung seit %1, LAmax bisher %2 dB.</translation>
    </message>
    <message>
        <source> Last: %1 – %2, LAmax %3 dB, SEL %4 dB.</source>
        <translation> Zuletzt: %1 – %2, LAmax %3 dB, SEL %4 dB.</translation>
    </message>
    <message>
        <source> Marked since %1: %2.</source>
        <translation> Markiert seit %1: %2.</translation>
    </message>
    <message>
        <source>No series recorded yet.</source>
        <translation>Noch keine Reihe aufgezeichnet.</translation>
    </message>
    <message>
        <source> (ended)</source>
        <translation> (beendet)</translation>
    </message>
    <message>
        <source>Since %1:  %2</source>
        <translation>Seit %1:  %2</translation>
    </message>
    <message>
        <source>   (%1 samples)</source>
        <translation>   (%1 Werte)</translation>
    </message>
    <message>
        <source>Waiting for the first sample.</source>
        <translation>Warten auf den ersten Wert.</translation>
    </message>
    <message>
        <source>Interval %1 – %2:  %3</source>
        <translation>Intervall %1 – %2:  %3</translation>
    </message>
    <message>
        <source>Interval: no sample yet</source>
        <translation>Intervall: noch kein Wert</translation>
    </message>
    <message>
        <source>Open record file</source>
        <translation>Messdatei öffnen</translation>
    </message>
    <message>
        <source>Reading %1 …</source>
        <translation>%1 wird gelesen …</translation>
    </message>
    <message>
        <source>Reading %1 was cancelled.</source>
        <translation>Lesen von %1 wurde abgebrochen.</translation>
    </message>
    <message>
        <source>Cannot read the record file: </source>
        <translation>Die Messdatei kann nicht gelesen werden: </translation>
    </message>
    <message>
        <source>%1 — %2
%3 to %4 (%5), intervals of %6</source>
        <translation>%1 — %2
%3 bis %4 (%5), Intervalle von %6</translation>
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
        <translation>Ganze Datei:  %1   (%2 Werte, %3 ohne Pegel, %4 zu geschätzten Zeitpunkten, %5 Übersteuerung, %6 Untersteuerung)</translation>
    </message>
    <message>
        <source>
Without the marked spans:  %1   (%2 samples left out)</source>
        <translation>
Ohne die markierten Abschnitte:  %1   (%2 Werte ausgelassen)</translation>
    </message>
    <message>
        <source>Marker</source>
        <translation>Markierung</translation>
    </message>
    <message>
        <source>Exceedance</source>
        <translation>Überschreitung</translation>
    </message>
    <message>
        <source>open</source>
        <translation>offen</translation>
    </message>
    <message>
        <source>closed</source>
        <translation>abgeschlossen</translation>
    </message>
    <message>
        <source>, estimated</source>
        <translation>, geschätzt</translation>
    </message>
    <message>
        <source>Span %1 – %2: reading …</source>
        <translation>Abschnitt %1 – %2: wird gelesen …</translation>
    </message>
    <message>
        <source>The span could not be read again from the file.</source>
        <translation>Der Abschnitt konnte nicht erneut aus der Datei gelesen werden.</translation>
    </message>
    <message>
        <source>Span %1 – %2 (%3):  %4   (%5 samples)</source>
        <translation>Abschnitt %1 – %2 (%3):  %4   (%5 Werte)</translation>
    </message>
    <message>
        <source>No record file is open.</source>
        <translation>Keine Messdatei geöffnet.</translation>
    </message>
    <message>
        <source>PDF report</source>
        <translation>PDF-Bericht</translation>
    </message>
</context>
<context>
    <name>kestro::TimeHistoryView</name>
    <message>
        <source>Time history</source>
        <translation>Pegelverlauf</translation>
    </message>
    <message>
        <source>Wheel or + and -: zoom the time axis. Drag or the arrow keys: pan. Shift+drag, right drag or Shift+arrows: select a span. Double click or Home: everything.</source>
        <translation>Mausrad oder + und -: Zeitachse zoomen. Ziehen oder Pfeiltasten: verschieben. Umschalt+Ziehen, rechts Ziehen oder Umschalt+Pfeile: Abschnitt wählen. Doppelklick oder Pos1: alles.</translation>
    </message>
    <message>
        <source>Open a record file to see its time history.</source>
        <translation>Eine Messdatei öffnen, um ihren Pegelverlauf zu sehen.</translation>
    </message>
</context>
<context>
    <name>kestro::frmAbout</name>
    <message>
        <source>Systeminformationen sind momentan nicht verfügbar</source>
        <translation>Systeminformationen sind momentan nicht verfügbar</translation>
    </message>
    <message>
        <source>Version %1.%2.%3  </source>
        <translation>Version %1.%2.%3  </translation>
    </message>
    <message>
        <source>Info to %1</source>
        <translation>Über %1</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>&amp;Systeminfo...</source>
        <translation>&amp;Systeminformationen…</translation>
    </message>
</context>
<context>
    <name>kestro::frmCOMx</name>
    <message>
        <source>COM%1 is not availiable!</source>
        <translation>COM%1 ist nicht verfügbar!</translation>
    </message>
</context>
<context>
    <name>kestro::frmKestroRecord</name>
    <message>
        <source>&amp;File</source>
        <translation>&amp;Datei</translation>
    </message>
    <message>
        <source>E&amp;xit</source>
        <translation>&amp;Beenden</translation>
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
        <translation>Ü&amp;ber</translation>
    </message>
    <message>
        <source>S&amp;tatistics</source>
        <translation>S&amp;tatistik</translation>
    </message>
    <message>
        <source>&amp;Statistics window</source>
        <translation>&amp;Statistikfenster</translation>
    </message>
    <message>
        <source>&amp;Open record file…</source>
        <translation>Messdatei ö&amp;ffnen…</translation>
    </message>
    <message>
        <source>E&amp;vents</source>
        <translation>&amp;Ereignisse</translation>
    </message>
    <message>
        <source>&amp;Mark…</source>
        <translation>&amp;Markieren…</translation>
    </message>
    <message>
        <source>Power</source>
        <translation>Ein/Aus</translation>
    </message>
    <message>
        <source>Record</source>
        <translation>Aufzeichnen</translation>
    </message>
    <message>
        <source>Stop recording</source>
        <translation>Aufzeichnung beenden</translation>
    </message>
    <message>
        <source> Initialisierung</source>
        <translation> Initialisierung</translation>
    </message>
    <message>
        <source> Calibration</source>
        <translation> Kalibrierung</translation>
    </message>
    <message>
        <source> Service</source>
        <translation> Service</translation>
    </message>
    <message>
        <source> unknown</source>
        <translation> unbekannt</translation>
    </message>
    <message>
        <source>Initialisation</source>
        <translation>Initialisierung</translation>
    </message>
    <message>
        <source>Service</source>
        <translation>Service</translation>
    </message>
    <message>
        <source>unknown</source>
        <translation>unbekannt</translation>
    </message>
    <message>
        <source>Recording enabled</source>
        <translation>Aufzeichnung aktiv</translation>
    </message>
    <message>
        <source>Recording disabled</source>
        <translation>Aufzeichnung aus</translation>
    </message>
    <message>
        <source>Read the level</source>
        <translation>Pegel vorlesen</translation>
    </message>
    <message>
        <source>Marks a span of the recording; a second Mark ends it</source>
        <translation>Markiert einen Abschnitt der Aufzeichnung; ein zweites Markieren beendet ihn</translation>
    </message>
    <message>
        <source>Front panel keys</source>
        <translation>Gerätetasten</translation>
    </message>
    <message>
        <source>Mode</source>
        <translation>Modus</translation>
    </message>
    <message>
        <source>Range</source>
        <translation>Bereich</translation>
    </message>
    <message>
        <source>Status</source>
        <translation>Status</translation>
    </message>
    <message>
        <source>Recording is armed. Setup stops it while the dialog is open; it resumes when you close Setup.</source>
        <translation>Die Aufzeichnung ist aktiv. Das Setup hält sie an, solange der Dialog offen ist; sie läuft weiter, wenn Sie das Setup schließen.</translation>
    </message>
    <message>
        <source>Mark</source>
        <translation>Markieren</translation>
    </message>
    <message>
        <source>&amp;Note of the span marked from %1 (Mark again to end it):</source>
        <translation>&amp;Notiz zum Abschnitt ab %1 (erneut Markieren beendet ihn):</translation>
    </message>
    <message>
        <source>Exceedance since %1</source>
        <translation>Überschreitung seit %1</translation>
    </message>
    <message>
        <source>; LAmax so far %1 dB</source>
        <translation>; LAmax bisher %1 dB</translation>
    </message>
    <message>
        <source>Marked since %1</source>
        <translation>Markiert seit %1</translation>
    </message>
    <message>
        <source>Events: %1</source>
        <translation>Ereignisse: %1</translation>
    </message>
    <message>
        <source>No events</source>
        <translation>Keine Ereignisse</translation>
    </message>
    <message>
        <source>Record file error: </source>
        <translation>Fehler der Messdatei: </translation>
    </message>
    <message>
        <source>Cal %1 dB %2</source>
        <translation>Kal %1 dB %2</translation>
    </message>
    <message>
        <source>Last calibration check: %1, %2 dB</source>
        <translation>Letzte Kalibrierprüfung: %1, %2 dB</translation>
    </message>
    <message>
        <source>, meter %1</source>
        <translation>, Messgerät %1</translation>
    </message>
    <message>
        <source>Connected</source>
        <translation>Verbunden</translation>
    </message>
    <message>
        <source>Not connected</source>
        <translation>Nicht verbunden</translation>
    </message>
    <message>
        <source>Exceedance started at %1</source>
        <translation>Überschreitung begann um %1</translation>
    </message>
    <message>
        <source>Exceedance ended at %1, LAmax %2 dB</source>
        <translation>Überschreitung endete um %1, LAmax %2 dB</translation>
    </message>
    <message>
        <source>Cal %1 dB</source>
        <translation>Kal %1 dB</translation>
    </message>
</context>
<context>
    <name>kestro::frmSetup</name>
    <message>
        <source>now %1</source>
        <translation>jetzt %1</translation>
    </message>
    <message>
        <source>Setup</source>
        <translation>Setup</translation>
    </message>
    <message>
        <source>Recording</source>
        <translation>Aufzeichnung</translation>
    </message>
    <message>
        <source>Optionen für Gruppe 1 festlegen</source>
        <translation>Messdateien: Verzeichnis, Name, Inhalt und Format</translation>
    </message>
    <message>
        <source>Interface</source>
        <translation>Schnittstelle</translation>
    </message>
    <message>
        <source>Optionen für Gruppe 3 festlegen</source>
        <translation>Serielle Schnittstelle des Messgeräts und Sprache</translation>
    </message>
    <message>
        <source>Statistics</source>
        <translation>Statistik</translation>
    </message>
    <message>
        <source>Interval and limit of the noise statistics</source>
        <translation>Intervall und Grenzwert der Lärmstatistik</translation>
    </message>
    <message>
        <source>Measurement details</source>
        <translation>Messangaben</translation>
    </message>
    <message>
        <source>Location, operator, weather, notes and instrument kept beside every series</source>
        <translation>Ort, Bearbeiter, Wetter, Notizen und Messgerät, bei jeder Reihe abgelegt</translation>
    </message>
    <message>
        <source>&amp;Location</source>
        <translation>O&amp;rt</translation>
    </message>
    <message>
        <source>O&amp;perator</source>
        <translation>B&amp;earbeiter</translation>
    </message>
    <message>
        <source>&amp;Weather</source>
        <translation>&amp;Wetter</translation>
    </message>
    <message>
        <source>No&amp;tes</source>
        <translation>&amp;Notizen</translation>
    </message>
    <message>
        <source>Instr&amp;ument</source>
        <translation>Mess&amp;gerät</translation>
    </message>
    <message>
        <source>Header Line</source>
        <translation>Kopfzeile</translation>
    </message>
    <message>
        <source>System Time</source>
        <translation>Systemzeit</translation>
    </message>
    <message>
        <source>Overflow</source>
        <translation>Übersteuerung</translation>
    </message>
    <message>
        <source>Underflow</source>
        <translation>Untersteuerung</translation>
    </message>
    <message>
        <source>File Name</source>
        <translation>Dateiname</translation>
    </message>
    <message>
        <source>Choose the directory</source>
        <translation>Verzeichnis wählen</translation>
    </message>
    <message>
        <source>Directory</source>
        <translation>Verzeichnis</translation>
    </message>
    <message>
        <source>Base Name</source>
        <translation>Grundname</translation>
    </message>
    <message>
        <source>Extension</source>
        <translation>Endung</translation>
    </message>
    <message>
        <source>File Content</source>
        <translation>Dateiinhalt</translation>
    </message>
    <message>
        <source>Format Options</source>
        <translation>Format</translation>
    </message>
    <message>
        <source>A character, [TAB] or [SPACE]</source>
        <translation>Ein Zeichen, [TAB] oder [SPACE]</translation>
    </message>
    <message>
        <source>Decimal Seperator</source>
        <translation>Dezimaltrennzeichen</translation>
    </message>
    <message>
        <source>Tabular Separator</source>
        <translation>Spaltentrennzeichen</translation>
    </message>
    <message>
        <source>Serial Interface</source>
        <translation>Serielle Schnittstelle</translation>
    </message>
    <message>
        <source>COM%1</source>
        <translation>COM%1</translation>
    </message>
    <message>
        <source>Device of COM%1</source>
        <translation>Gerät von COM%1</translation>
    </message>
    <message>
        <source>Ports that cannot be opened are greyed out. Pick a device from a list to use it for that port.</source>
        <translation>Schnittstellen, die sich nicht öffnen lassen, sind ausgegraut. Ein Gerät aus einer Liste wählen, um es für diese Schnittstelle zu nutzen.</translation>
    </message>
    <message>
        <source>Language</source>
        <translation>Sprache</translation>
    </message>
    <message>
        <source>Automatic (the desktop&apos;s language)</source>
        <translation>Automatisch (Sprache des Desktops)</translation>
    </message>
    <message>
        <source>Windows</source>
        <translation>Fenster</translation>
    </message>
    <message>
        <source>Noise Statistics</source>
        <translation>Lärmstatistik</translation>
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
        <translation>keiner</translation>
    </message>
    <message>
        <source>Intervals whose Leq is above this level are marked; 0 for none</source>
        <translation>Intervalle mit einem Leq über diesem Pegel werden markiert; 0 für keinen</translation>
    </message>
    <message>
        <source>Interval</source>
        <translation>Intervall</translation>
    </message>
    <message>
        <source>Limit (Leq)</source>
        <translation>Grenzwert (Leq)</translation>
    </message>
    <message>
        <source>Each record file gets a statistics file beside it (…_STAT) with one row per interval. Changes apply to the next series.</source>
        <translation>Jede Messdatei erhält daneben eine Statistikdatei (…_STAT) mit einer Zeile je Intervall. Änderungen gelten ab der nächsten Reihe.</translation>
    </message>
    <message>
        <source>Noise Events</source>
        <translation>Lärmereignisse</translation>
    </message>
    <message>
        <source>An exceedance starts when the level rises above this; 0 for none</source>
        <translation>Eine Überschreitung beginnt, wenn der Pegel darüber steigt; 0 für keine</translation>
    </message>
    <message>
        <source>It ends when the level falls below the event level less this</source>
        <translation>Sie endet, wenn der Pegel unter die Ereignisschwelle abzüglich dieses Werts fällt</translation>
    </message>
    <message>
        <source> s</source>
        <translation> s</translation>
    </message>
    <message>
        <source>It counts when it lasted at least this long</source>
        <translation>Sie zählt, wenn sie mindestens so lange dauerte</translation>
    </message>
    <message>
        <source>Desktop notifications</source>
        <translation>Desktop-Benachrichtigungen</translation>
    </message>
    <message>
        <source>Event level</source>
        <translation>Ereignisschwelle</translation>
    </message>
    <message>
        <source>Minimum duration</source>
        <translation>Mindestdauer</translation>
    </message>
    <message>
        <source>Hysteresis</source>
        <translation>Hysterese</translation>
    </message>
    <message>
        <source>Exceedances and marked spans go into an events file beside the record file (…_EVENTS), on slow Lp levels or, in LEQ and MAX-Hold, on fast Lp levels. Changes apply to the next series.</source>
        <translation>Überschreitungen und markierte Abschnitte kommen in eine Ereignisdatei neben der Messdatei (…_EVENTS), nach langsamen Lp-Pegeln oder, bei LEQ und MAX-Hold, nach schnellen Lp-Pegeln. Änderungen gelten ab der nächsten Reihe.</translation>
    </message>
    <message>
        <source>Site and conditions</source>
        <translation>Ort und Bedingungen</translation>
    </message>
    <message>
        <source>type and class of the sound level meter</source>
        <translation>Typ und Klasse des Schallpegelmessers</translation>
    </message>
    <message>
        <source>Written into the side file (…_INFO.json) of every series from its start.</source>
        <translation>Wird ab ihrem Beginn in die Begleitdatei (…_INFO.json) jeder Reihe geschrieben.</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Abbrechen</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>the command line</source>
        <translation>die Befehlszeile</translation>
    </message>
    <message>
        <source>Set by the environment variable </source>
        <translation>Gesetzt durch die Umgebungsvariable </translation>
    </message>
    <message>
        <source>Set for this run by %1; the stored value is kept</source>
        <translation>Für diesen Lauf durch %1 gesetzt; der gespeicherte Wert bleibt</translation>
    </message>
    <message>
        <source>No serial port is set: choose the port of the meter and press OK.</source>
        <translation>Keine serielle Schnittstelle eingestellt: die Schnittstelle des Messgeräts wählen und OK drücken.</translation>
    </message>
    <message>
        <source>The record directory %1 cannot be written: choose another one and press OK.</source>
        <translation>In das Messverzeichnis %1 kann nicht geschrieben werden: ein anderes wählen und OK drücken.</translation>
    </message>
    <message>
        <source>Check the recorder settings and press OK to store them.</source>
        <translation>Die Einstellungen prüfen und mit OK speichern.</translation>
    </message>
    <message>
        <source>Please enter the character for &quot;%1&quot; (or [TAB] or [SPACE]).</source>
        <translation>Bitte das Zeichen für „%1“ eingeben (oder [TAB] oder [SPACE]).</translation>
    </message>
    <message>
        <source>Please enter the character for &quot;%1&quot;.</source>
        <translation>Bitte das Zeichen für „%1“ eingeben.</translation>
    </message>
    <message>
        <source>The character &quot;%1&quot; cannot be used as &quot;%2&quot;. Please use a character of the Latin-1 character set.</source>
        <translation>Das Zeichen „%1“ kann nicht als „%2“ dienen. Bitte ein Zeichen des Latin-1-Zeichensatzes verwenden.</translation>
    </message>
    <message>
        <source>The &quot;Tabular Separator&quot; cannot be the &quot;Decimal Seperator&quot; too: every number would be split in two. Please choose another character.</source>
        <translation>Das „Spaltentrennzeichen“ kann nicht zugleich das „Dezimaltrennzeichen“ sein: jede Zahl würde zweigeteilt. Bitte ein anderes Zeichen wählen.</translation>
    </message>
    <message>
        <source>The &quot;%1&quot; %2.</source>
        <translation>„%1“: %2.</translation>
    </message>
    <message>
        <source>The settings could not be saved.

</source>
        <translation>Die Einstellungen konnten nicht gespeichert werden.

</translation>
    </message>
    <message>
        <source>Settings file: </source>
        <translation>Einstellungsdatei: </translation>
    </message>
    <message>
        <source>
The values after this one were not saved.</source>
        <translation>
Die Werte danach wurden nicht gespeichert.</translation>
    </message>
    <message>
        <source>Daily reports</source>
        <translation>Tagesberichte</translation>
    </message>
    <message>
        <source>When an assessment day ends, its PDF report, interval list and figures go into reports/ of the record directory</source>
        <translation>Am Ende eines Beurteilungstages kommen sein PDF-Bericht, die Intervallliste und die Kennwerte in reports/ des Messverzeichnisses</translation>
    </message>
    <message>
        <source>As the windows</source>
        <translation>Wie die Fenster</translation>
    </message>
    <message>
        <source>PDF reports</source>
        <translation>PDF-Berichte</translation>
    </message>
    <message>
        <source>--lang and --report-lang choose for one run; the windows&apos; language applies at the next start, the reports&apos; at once.</source>
        <translation>--lang und --report-lang wählen für einen Lauf; die Sprache der Fenster gilt ab dem nächsten Start, die der Berichte sofort.</translation>
    </message>
</context>
</TS>
