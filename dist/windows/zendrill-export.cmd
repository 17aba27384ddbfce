@echo off
rem Backs up the B203's settings and timers into a dated file, e.g. for the
rem Task Scheduler:  zendrill-export.cmd [PORT [FOLDER]]
rem Without PORT zendrill-cli takes ZENDRILL_PORT or Comport from the
rem Zendrill.ini beside this file; FOLDER defaults to Sicherungen beside it.
setlocal
cd /d "%~dp0"
set "port=%~1"
set "folder=%~2"
if not defined folder set "folder=%~dp0Sicherungen"
rem %date% depends on the regional settings; PowerShell gives a fixed form.
set "day="
for /f "usebackq delims=" %%d in (`powershell -NoProfile -NonInteractive -Command "Get-Date -Format yyyy-MM-dd"`) do set "day=%%d"
if not defined day (
  echo Das Datum war nicht zu ermitteln ^(PowerShell^) 1>&2
  exit /b 2
)
if not exist "%folder%\" mkdir "%folder%"
if not exist "%folder%\" (
  echo Der Ordner "%folder%" kann nicht angelegt werden 1>&2
  exit /b 2
)
if defined port (
  "%~dp0zendrill-cli.exe" --port "%port%" timers export "%folder%\b203-%day%.ini"
) else (
  "%~dp0zendrill-cli.exe" timers export "%folder%\b203-%day%.ini"
)
exit /b %errorlevel%
