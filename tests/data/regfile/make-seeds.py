#!/usr/bin/env python3
"""Writes the seed .reg files of the reader's fuzz target into this folder."""
import os

HERE = os.path.dirname(os.path.abspath(__file__))

VERSION5 = ('Windows Registry Editor Version 5.00\r\n\r\n'
            '[HKEY_CURRENT_USER\\Software\\Seed]\r\n'
            '@="default"\r\n'
            '"s"="a \\"quoted\\" \\\\ text\\r\\n"\r\n'
            '"d"=dword:0000beef\r\n'
            '"b"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,16,\\\r\n'
            '  17,18,19\r\n'
            '"e"=hex(2):25,00,41,00,25,00,00,00\r\n'
            '"m"=hex(7):61,00,00,00,62,00,00,00,00,00\r\n'
            '"n"=hex(0):\r\n'
            '"q"=hex(b):01,00,00,00,00,00,00,00\r\n'
            '\r\n[HKEY_CURRENT_USER\\Software\\Seed\\Sub]Key]\r\n'
            '"caf\u00e9 \u20ac"="\U0001F600"\r\n'
            '\r\n[-HKEY_LOCAL_MACHINE\\Software\\Gone]\r\n'
            '\r\n[HKEY_LOCAL_MACHINE\\Software\\Seed]\r\n"old"=-\r\n\r\n')

REGEDIT4 = ('REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Old]\r\n'
            '"Path"="C:\\\\Program Files\\\\Old\\\\old.exe"\r\n'
            '"e"=hex(2):25,53,79,73,74,65,6d,52,6f,6f,74,25,00\r\n'
            '"caf\xe9"="1252 text"\r\n\r\n')

COMMENTS = ('Windows Registry Editor Version 5.00\n'
            '; comments, blanks and continued lines\n'
            '  [HKEY_CLASSES_ROOT\\.seed]  ; trailing comment\n'
            '@ = "seedfile"\t\n'
            '"h"=hex:01,\\ ; more follows\n'
            '\n'
            '; between\n'
            '\t02,03,\n'
            '[HKEY_CURRENT_CONFIG\\Software]\r'
            '"x"=dword:1\r')


def write(name, data):
    with open(os.path.join(HERE, name), 'wb') as f:
        f.write(data)


write('version5-utf16.reg', b'\xff\xfe' + VERSION5.encode('utf-16-le'))
write('version5-utf8.reg', VERSION5.encode('utf-8'))
write('regedit4-cp1252.reg', REGEDIT4.encode('latin-1'))
write('comments-and-continuations.reg', COMMENTS.encode('utf-8'))
