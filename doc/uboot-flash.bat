@echo off
rem Programs a board that runs a stock U-Boot, from its serial console and
rem with no person at a terminal: the Windows form of uboot-flash.sh.
rem   1. waits for U-Boot's "Hit any key to stop autoboot" and stops it;
rem   2. types "loady ${loadaddr} RATE" and sends IMAGE by Y-Modem at RATE,
rem      following U-Boot's switch to RATE and back (--follow-baud-switch);
rem   3. asks U-Boot for the CRC-32 of what it stored and compares it with
rem      the file's, CRC.
rem The exit status is 0 only when the two match.
rem
rem   uboot-flash.bat PORT IMAGE CRC [RATE]
rem
rem PORT: the COM port number. IMAGE: a file name without folders (it is
rem the name announced to U-Boot). CRC: the image's CRC-32 as 8 lower-case
rem hexadecimal digits, as uboot-flash.sh, 7-Zip ("7z h -scrcCRC32") or
rem Python's zlib.crc32 give it. RATE: the load rate, default 921600.
rem Start the script, then power the board on or reset it. Each step leaves
rem its console text in uboot-*.log. For flashstation this is no run.bat:
rem the station wants a last line that begins "blockxfer -p" and a digit.
setlocal
if "%~3"=="" goto usage
set PORT=%~1
set IMAGE=%~2
set CRC=%~3
set RATE=%~4
if "%RATE%"=="" set RATE=921600

blockxfer -p%PORT% -lfuboot-boot.log -lx"Hit any key to stop autoboot" -lt60 >nul
if errorlevel 1 goto failed
findstr /C:"Hit any key to stop autoboot" uboot-boot.log >nul || goto failed
blockxfer -p%PORT% --send-line "" -lfuboot-prompt.log -lx"=> " -lt5 >nul
if errorlevel 1 goto failed
findstr /C:"=> " uboot-prompt.log >nul || goto failed

blockxfer -p%PORT% --send-line "loady ${loadaddr} %RATE%" --follow-baud-switch -sy %IMAGE% -lfuboot-load.log -lx"=> " -lt10
if errorlevel 1 goto failed
findstr /C:"=> " uboot-load.log >nul || goto failed

rem "==> " holds the prompt's "=> ": the capture stops at the expected value,
rem or after 5 s of silence when another one came.
blockxfer -p%PORT% --send-line "crc32 ${loadaddr} ${filesize}" -lfuboot-crc.log -lx"==> %CRC%" -lt5 >nul
if errorlevel 1 goto failed
findstr /C:"==> %CRC%" uboot-crc.log >nul || goto mismatch
echo uboot-flash: %IMAGE% loaded at %RATE% bps, CRC-32 %CRC% matches
exit /b 0

:mismatch
echo uboot-flash: U-Boot's CRC-32 is not %CRC% (see uboot-crc.log)
exit /b 1
:failed
echo uboot-flash: a step failed (see the uboot-*.log files)
exit /b 1
:usage
echo usage: uboot-flash.bat PORT IMAGE CRC [RATE]
exit /b 2
