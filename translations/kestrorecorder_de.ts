<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
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
        <source>Applies at the next start; --lang chooses for one run.</source>
        <translation>Gilt ab dem nächsten Start; --lang wählt für einen Lauf.</translation>
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
</context>
</TS>
