#include "cli/cli_args.h"

namespace zd::cli {

std::string help_text() {
    return R"(zendrill-cli: die B203-Timersteuerung über die serielle Leitung, ohne Fenster

Aufruf:  zendrill-cli [--port PORT] [--wait SEKUNDEN] BEFEHL [ARGUMENTE]

Port:
  --port PORT        Linux: Gerätepfad (/dev/ttyUSB0, /dev/serial/by-id/...);
                     Windows: Portname (COM3 oder Com3:).
                     Ohne --port: die Umgebungsvariable ZENDRILL_PORT, sonst
                     Comport aus Zendrill.ini im aktuellen Ordner (unter Linux
                     nur, wenn er ein Pfad ist, der mit "/" beginnt).
  --wait SEKUNDEN    so lange auf einen belegten Port warten, ganze
                     Sekunden von 0 bis 3600 (Vorgabe 30)

Befehle:
  status [--json]            Gerätestatus abfragen und anzeigen
      zendrill-cli --port /dev/ttyUSB0 status
  clock sync                 Uhrzeit und Datum des PCs zum B203 senden, prüfen
      zendrill-cli clock sync
  clock shift +1|-1          Uhrzeit des B203 um eine Stunde vor- oder
                             zurückstellen (über Mitternacht mit dem Datum)
      zendrill-cli clock shift -1
  timers list [--json]       die fünf Timer lesen und auflisten
      zendrill-cli timers list --json
  timers export [DATEI]      Einstellungen und Timer sichern (ohne DATEI oder
                             mit "-" auf die Standardausgabe); die Datei wird
                             nur geschrieben, wenn alles gelesen wurde, und
                             nur als gewöhnliche Datei (oder neu), nie als
                             Gerät, Pipe oder Verzeichnis
      zendrill-cli timers export b203-$(date +%F).ini
  timers import DATEI [--dry-run]
                             eine Sicherung zurückschreiben (DATEI "-": von
                             der Standardeingabe; höchstens 64 KiB), jeden
                             Timer zurücklesen und vergleichen; --dry-run
                             prüft nur und zeigt, was gesendet würde
      zendrill-cli timers import b203-2026-12-06.ini
  send ZEILE                 eine Befehlszeile senden (Geräteadresse zuerst)
                             und die Rückmeldung zeigen
      zendrill-cli send 0X
  scan [--json]              die Geräteadressen 0 bis 9 abfragen
      zendrill-cli scan
  settings send DDDD         die vier Einstellungen senden: Sprache 0-2,
                             Easy-Funktion 0-2, Timer 0-1, Einschaltbed. 0-4
      zendrill-cli settings send 1200
  ir on|off                  IR-Empfänger ein- oder ausschalten
      zendrill-cli ir off

  -h, --help                 diese Hilfe
  -V, --version              die Version

Rückgabewerte:
  0  erfolgreich
  1  das Gerät hat nicht wie nötig geantwortet (keine Antwort, falsche
     Länge, Fehlermeldung, Rücklesen weicht ab, Uhr weicht ab), oder
     abgebrochen durch SIGINT, SIGTERM oder SIGHUP
  2  Aufruf oder Eingabe ungültig (dann wurde nichts gesendet)
  3  Port nicht zu öffnen oder belegt
  4  eine lokale Datei oder die Standardein- oder -ausgabe ist nicht zu
     lesen oder zu schreiben (zeigte sich das vor dem Senden, wurde
     nichts gesendet)
)";
}

}  // namespace zd::cli
