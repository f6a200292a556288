<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="it_IT">
<context>
    <name>MainWindow</name>
    <message>
        <location filename="../../app/mainwindow.ui" line="+14"/>
        <source>Ostrel RIZ edaradovuzur</source>
        <translation>Ostrel RIZ edaradovuzur</translation>
    </message>
    <message>
        <location line="+37"/>
        <source>Logo</source>
        <translation>Logo</translation>
    </message>
    <message>
        <location line="+12"/>
        <source>Device:</source>
        <translation>Dispositivo:</translation>
    </message>
    <message>
        <location line="+17"/>
        <source>REFRESH</source>
        <translation>AGGIORNA</translation>
    </message>
    <message>
        <location line="+70"/>
        <source>READ CONFIGURATION</source>
        <translation>LEGGI CONFIGURAZIONE</translation>
    </message>
    <message>
        <location line="+13"/>
        <source> WRITE CONFIGURATION</source>
        <translation> SCRIVI CONFIGURAZIONE</translation>
    </message>
    <message>
        <location line="+13"/>
        <source>READ DEFAULT</source>
        <translation>LEGGI PREDEFINITA</translation>
    </message>
    <message>
        <location line="+19"/>
        <source>File</source>
        <translation>File</translation>
    </message>
    <message>
        <location line="+9"/>
        <source>Preferences</source>
        <translation>Preferenze</translation>
    </message>
    <message>
        <location line="+7"/>
        <source>?</source>
        <translation>?</translation>
    </message>
    <message>
        <location line="+17"/>
        <source>Load Configuration File</source>
        <translation>Carica file di configurazione</translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Save Configuration File</source>
        <translation>Salva file di configurazione</translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Exit</source>
        <translation>Esci</translation>
    </message>
    <message>
        <location line="+8"/>
        <source>Advanced Mode</source>
        <translation>Modalità avanzata</translation>
    </message>
    <message>
        <location line="+8"/>
        <source>Channel Plan</source>
        <translation>Piano dei canali</translation>
    </message>
    <message>
        <location line="+5"/>
        <location filename="../../app/mainwindow.cpp" line="+266"/>
        <source>Version</source>
        <translation>Versione</translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Help</source>
        <translation>Guida</translation>
    </message>
    <message>
        <location filename="../../app/mainwindow.cpp" line="-174"/>
        <source>ERROR: %1 not found, install FTDI&apos;s D2XX driver!</source>
        <translation>ERRORE: %1 non trovato, installare il driver D2XX di FTDI!</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>ERROR: %1 lacks %2, reinstall FTDI&apos;s D2XX driver!</source>
        <translation>ERRORE: in %1 manca %2, reinstallare il driver D2XX di FTDI!</translation>
    </message>
    <message>
        <location line="+10"/>
        <source>Ready</source>
        <translation>Pronto</translation>
    </message>
    <message>
        <location line="+24"/>
        <location line="+48"/>
        <source>ERROR connecting to device!</source>
        <translation>ERRORE di connessione al dispositivo!</translation>
    </message>
    <message>
        <location line="-39"/>
        <source>Reading device configuration... please wait</source>
        <translation>Lettura della configurazione del dispositivo... attendere</translation>
    </message>
    <message>
        <location line="+1"/>
        <location line="+44"/>
        <source>ERROR reading configuration data!</source>
        <translation>ERRORE nella lettura dei dati di configurazione!</translation>
    </message>
    <message>
        <location line="-33"/>
        <location line="+24"/>
        <source>ERROR can&apos;t enable configuration data!</source>
        <translation>ERRORE: impossibile abilitare i dati di configurazione!</translation>
    </message>
    <message>
        <location filename="../../plan/planrules.cpp" line="+16"/>
        <source>ERROR conflicting output frequencies or maximum number of channels per output sub-band has been reached!</source>
        <translation>ERRORE: frequenze di uscita in conflitto o raggiunto il numero massimo di canali per sottobanda di uscita!</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>ERROR too many different bandwidth values!</source>
        <translation>ERRORE: troppi valori diversi di larghezza di banda!</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>ERROR user band number not supported!</source>
        <translation>ERRORE: numero di banda utente non supportato!</translation>
    </message>
    <message>
        <location filename="../../app/mainwindow.cpp" line="-6"/>
        <source>Write device configuration... please wait</source>
        <translation>Scrittura della configurazione del dispositivo... attendere</translation>
    </message>
    <message>
        <location line="+12"/>
        <source>ERROR writing configuration data!</source>
        <translation>ERRORE nella scrittura dei dati di configurazione!</translation>
    </message>
    <message>
        <location line="+19"/>
        <source>Read default configuration... please wait</source>
        <translation>Lettura della configurazione predefinita... attendere</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>ERROR reading default configuration data!</source>
        <translation>ERRORE nella lettura della configurazione predefinita!</translation>
    </message>
    <message>
        <location line="+19"/>
        <source>Load Configuration</source>
        <translation>Carica configurazione</translation>
    </message>
    <message>
        <location line="-5"/>
        <source>VEV Configuration File (*.scd)</source>
        <translation>File di configurazione VEV (*.scd)</translation>
    </message>
    <message>
        <location filename="../../config/unitfacts.cpp" line="+39"/>
        <source>%1: %2, Serial Number=%3, HW Version=%4.%5, SW Version=%6.%7</source>
        <translation>%1: %2, Numero di serie=%3, Versione HW=%4.%5, Versione SW=%6.%7</translation>
    </message>
    <message>
        <location filename="../../app/mainwindow.cpp" line="+17"/>
        <source>ERROR loading configuration file!</source>
        <translation>ERRORE nel caricamento del file di configurazione!</translation>
    </message>
    <message>
        <location line="+10"/>
        <source>Save Configuration</source>
        <translation>Salva configurazione</translation>
    </message>
    <message>
        <location line="+15"/>
        <source>ERROR saving configuration file!</source>
        <translation>ERRORE nel salvataggio del file di configurazione!</translation>
    </message>
    <message>
        <location line="+30"/>
        <source>ERROR help file not available!</source>
        <translation>ERRORE: file della guida non disponibile!</translation>
    </message>
</context>
<context>
    <name>codecombo</name>
    <message>
        <location filename="../../panels/codecombo.cpp" line="+14"/>
        <source>unknown (%1)</source>
        <translation>sconosciuto (%1)</translation>
    </message>
</context>
<context>
    <name>gbChannelPlan</name>
    <message>
        <location filename="../../panels/gbchannelplan.cpp" line="+89"/>
        <location filename="../../plan/planpicture.cpp" line="+136"/>
        <source>Channel plan</source>
        <translation>Piano dei canali</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Read or load a configuration to see its channel plan.</source>
        <translation>Leggere o caricare una configurazione per vederne il piano dei canali.</translation>
    </message>
    <message>
        <location line="+91"/>
        <source>Bandwidth: none (tone)</source>
        <translation>Larghezza: nessuna (tono)</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Bandwidth: %1 MHz</source>
        <translation>Larghezza: %1 MHz</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Row %1</source>
        <translation>Riga %1</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Mode: %1</source>
        <translation>Modalità: %1</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>IF OUT: %1 MHz</source>
        <translation>FI uscita: %1 MHz</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Output: %1</source>
        <translation>Uscita: %1</translation>
    </message>
    <message>
        <location filename="../../plan/plangeometry.cpp" line="+29"/>
        <source>%1 UB%2</source>
        <translation>%1 UB%2</translation>
    </message>
    <message>
        <location line="+74"/>
        <source>Output %1</source>
        <translation>Uscita %1</translation>
    </message>
    <message>
        <location line="+84"/>
        <source>Not on any output present: rows %1</source>
        <translation>Su nessuna uscita presente: righe %1</translation>
    </message>
    <message>
        <location filename="../../plan/planpicture.cpp" line="-17"/>
        <source>%1: unknown picture format; use .svg or .png</source>
        <translation>%1: formato di immagine sconosciuto; usare .svg o .png</translation>
    </message>
</context>
<context>
    <name>gbInput</name>
    <message>
        <location filename="../../panels/gbinput.ui" line="+14"/>
        <location line="+3"/>
        <source>GroupBox</source>
        <translation>Riquadro</translation>
    </message>
    <message>
        <location line="+6"/>
        <source>Mode</source>
        <translation>Modalità</translation>
    </message>
    <message>
        <location line="+17"/>
        <source>Band</source>
        <translation>Banda</translation>
    </message>
    <message>
        <location line="+17"/>
        <source>Polarization</source>
        <translation>Polarizzazione</translation>
    </message>
    <message>
        <location line="+17"/>
        <source>Satellite</source>
        <translation>Satellite</translation>
    </message>
    <message>
        <location line="+17"/>
        <source>LNB LO</source>
        <translation>OL LNB</translation>
    </message>
    <message>
        <location filename="../../config/codenames.h" line="+26"/>
        <source>OFF</source>
        <translation>SPENTO</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>NORMAL</source>
        <translation>NORMALE</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>MIN_GAIN</source>
        <translation>GUAD. MIN</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>MAX_GAIN</source>
        <translation>GUAD. MAX</translation>
    </message>
    <message>
        <location line="+5"/>
        <source>LOW</source>
        <translation>BASSA</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>HIGH</source>
        <translation>ALTA</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>WIDE</source>
        <translation>LARGA</translation>
    </message>
    <message>
        <location line="+4"/>
        <source>VERTICAL</source>
        <translation>VERTICALE</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>HORIZONTAL</source>
        <translation>ORIZZONTALE</translation>
    </message>
    <message>
        <location line="+4"/>
        <source>A</source>
        <translation>A</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>B</source>
        <translation>B</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>C</source>
        <translation>C</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>D</source>
        <translation>D</translation>
    </message>
    <message>
        <location filename="../../panels/gbinput.cpp" line="+16"/>
        <source>Input %1</source>
        <translation>Ingresso %1</translation>
    </message>
</context>
<context>
    <name>gbLNBSupply</name>
    <message>
        <location filename="../../config/codenames.h" line="-28"/>
        <source>OFF</source>
        <translation>SPENTA</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>14V</source>
        <translation>14V</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>14V/18V/22kHz</source>
        <translation>14V/18V/22kHz</translation>
    </message>
    <message>
        <location filename="../../panels/gblnbsupply.cpp" line="+36"/>
        <source>GroupBox</source>
        <translation>Riquadro</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>LNB Power Supply</source>
        <translation>Alimentazione LNB</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Mode</source>
        <translation>Modalità</translation>
    </message>
</context>
<context>
    <name>gbOutput</name>
    <message>
        <location filename="../../panels/gboutput.ui" line="+14"/>
        <location line="+3"/>
        <source>GroupBox</source>
        <translation>Riquadro</translation>
    </message>
    <message>
        <location line="+6"/>
        <source>Mode</source>
        <translation>Modalità</translation>
    </message>
    <message>
        <location line="+17"/>
        <source>STB LO Low</source>
        <translation>OL decoder banda bassa</translation>
    </message>
    <message>
        <location line="+17"/>
        <source>STB LO High</source>
        <translation>OL decoder banda alta</translation>
    </message>
    <message>
        <location filename="../../config/codenames.h" line="+34"/>
        <source>OFF</source>
        <translation>SPENTA</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>CSS MODE</source>
        <translation>MODALITÀ CSS</translation>
    </message>
    <message>
        <location filename="../../panels/gboutput.cpp" line="+16"/>
        <source>Output %1</source>
        <translation>Uscita %1</translation>
    </message>
</context>
<context>
    <name>gbTableCSS</name>
    <message>
        <location filename="../../config/codenames.h" line="+4"/>
        <source>OFF</source>
        <translation>SPENTO</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>STATIC</source>
        <translation>STATICO</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>SCR</source>
        <translation>SCR</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>SCD2</source>
        <translation>SCD2</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>SCR/SCD2</source>
        <translation>SCR/SCD2</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>BSKYB</source>
        <translation>BSKYB</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>TONE</source>
        <translation>TONO</translation>
    </message>
    <message>
        <location filename="../../panels/gbtablecss.cpp" line="+38"/>
        <source>Vertical</source>
        <translation>Verticale</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Horizontal</source>
        <translation>Orizzontale</translation>
    </message>
    <message>
        <location line="+4"/>
        <source>Mode</source>
        <translation>Modalità</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>F IN
(MHz)</source>
        <translation>F SAT
(MHz)</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Polarization</source>
        <translation>Polarizz.</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Input</source>
        <translation>Ingresso</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>IF IN
(MHz)</source>
        <translation>FI ingr.
(MHz)</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Output</source>
        <translation>Uscita</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>IF OUT
(MHz)</source>
        <translation>FI uscita
(MHz)</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Bandwidth
(MHz)</source>
        <translation>Larghezza
(MHz)</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Level
(dBuV)</source>
        <translation>Livello
(dBµV)</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>UserBand</source>
        <translation>Banda
utente</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>PIN</source>
        <translation>PIN</translation>
    </message>
    <message>
        <location line="+54"/>
        <location line="+1"/>
        <source>GroupBox</source>
        <translation>Riquadro</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>dCSS configuration</source>
        <translation>Configurazione dCSS</translation>
    </message>
</context>
</TS>
