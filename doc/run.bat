@echo off
rem The programming job of a flashstation bench: sends fw.bin by Y-Modem on
rem COM3, then records in LOG what the board prints until it is silent for
rem 10 seconds. flashstation reads the port digit from the last line, so that
rem line stays last, begins "blockxfer -p" and a digit, and has no comma.
blockxfer -p3 -sy fw.bin -lfLOG
