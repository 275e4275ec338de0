#!/usr/bin/env python3
"""Makes the registry file fixtures of this folder (also the fuzzer's seeds).

awkward-user.reg: keys and values with awkward names and data, written by Wine itself: a
.reg file is imported with "wine regedit /s" into a scratch prefix and the resulting blocks
of user.reg are kept, plus one hand-written key (a class name, a NUL and a tab in value
names) that regedit cannot make. links-system.reg: a few of Wine's own keys and links, hex
data wrapped as Wine wraps it. utf8-userdef.reg: raw UTF-8, which Wine reads but never
writes. minimal-system.reg: a file with no key but its branch.

Needs wine for awkward-user.reg; the times in it are those of the run.
"""
import os
import subprocess
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))

REG = r'''Windows Registry Editor Version 5.00

[HKEY_CURRENT_USER\Software\Tidewell Fixture]
"plain"="hello"
"quote\"and\\backslash"="a \"quoted\" \\ path"
"nul-in-data"=hex(1):61,00,00,00,62,00,00,00
"controls"=hex(1):07,00,08,00,09,00,0a,00,0b,00,0c,00,0d,00,1b,00,01,00,31,00,02,00,00,00
"hexfollow"=hex(1):e9,00,61,00,e9,00,67,00,00,00
"expand"=hex(2):25,00,50,00,41,00,54,00,48,00,25,00,00,00
"multi"=hex(7):61,00,00,00,62,00,00,00,00,00
"dword"=dword:0000002a
"bin"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,16,17,18,19,1a,1b,1c,1d,1e,1f,20,21,22,23,24,25,26,27,28,29,2a,2b,2c,2d,2e,2f,30,31,32,33,34,35,36,37,38,39,3a,3b,3c,3d,3e,3f
"empty bin"=hex:
"none"=hex(0):
"qword"=hex(b):01,02,03,04,05,06,07,08
"unterminated"=hex(1):61,00
"big type"=hex(12345678):ff
"Ünïcödé ☃"="Grüße 日本 𝄞 ☃"
@="default"

[HKEY_CURRENT_USER\Software\Tidewell Fixture\Grüße\日本]
"x"="y"

[HKEY_CURRENT_USER\Software\Tidewell Fixture\[bracketed]]
@=""

[HKEY_CURRENT_USER\Software\Tidewell Fixture\a_b]

[HKEY_CURRENT_USER\Software\Tidewell Fixture\aB]

[HKEY_CURRENT_USER\Software\Tidewell Fixture\AA]
'''

CLASSY = ('[Software\\\\Tidewell Fixture\\\\Classy] 1796674191\n#time=1dd8686eae7f6ae\n'
          '#class="My \\"Class\\" \\xe9"\n"nul\\0name"="x"\n"tab\\tname"=""\n')


def head(root):
    return 'WINE REGISTRY Version 2\n;; All keys relative to %s\n\n#arch=win64\n' % root


def wine_hex(prefix_len, type_tag, data):
    """Hex data as Wine's writer wraps it: a new line once a line passes 76 characters."""
    out = type_tag
    count = prefix_len + len(type_tag)
    for i, b in enumerate(data):
        out += '%02x' % b
        count += 2
        if i < len(data) - 1:
            out += ','
            count += 1
            if count > 76:
                out += '\\\n  '
                count = 2
    return out


def link_block(path, target):
    name = '"SymbolicLinkValue"='
    return ('[%s] 1796673228\n#time=1dd8684ac99a7b4\n#link\n%s%s\n'
            % (path, name, wine_hex(len(name), 'hex(6):', target.encode('utf-16-le'))))


def awkward_user():
    with tempfile.TemporaryDirectory() as tmp:
        env = dict(os.environ, WINEPREFIX=os.path.join(tmp, 'prefix'), WINEDEBUG='-all',
                   WINEDLLOVERRIDES='mscoree,mshtml=')
        reg = os.path.join(tmp, 'fixture.reg')
        with open(reg, 'wb') as f:
            f.write(b'\xff\xfe' + REG.replace('\n', '\r\n').encode('utf-16-le'))
        subprocess.run(['wineboot', '-i'], env=env, check=True, capture_output=True)
        subprocess.run(['wine', 'regedit', '/s', reg], env=env, check=True, capture_output=True)
        subprocess.run(['wineserver', '-w'], env=env, check=True)
        with open(os.path.join(env['WINEPREFIX'], 'user.reg'), encoding='utf-8') as f:
            text = f.read()
    blocks = [b.rstrip('\n') + '\n' for b in text.split('\n\n') if b.startswith('[Software\\\\Tidewell Fixture')]
    # Wine sorts "Classy" before the key whose name starts with "Gr\xfc".
    at = next(i for i, b in enumerate(blocks) if b.startswith('[Software\\\\Tidewell Fixture\\\\Gr'))
    blocks.insert(at, CLASSY)
    root = 'REGISTRY\\\\User\\\\S-1-5-21-0-0-0-1000'
    return head(root) + ''.join('\n' + b for b in blocks)


def links_system():
    blocks = [
        '[Software\\\\Classes\\\\txtfile] 1796673230\n#time=1dd8684adea5df2\n@="Text Document"\n',
        '[Software\\\\Classes\\\\txtfile\\\\shell\\\\open\\\\command] 1796673230\n#time=1dd8684adea6360\n'
        '@="\\"C:\\\\windows\\\\system32\\\\notepad.exe\\" \\"%1\\""\n',
        link_block('Software\\\\Tidewell\\\\Broken', '\\Registry\\Machine\\Software\\Nowhere'),
        link_block('Software\\\\Tidewell\\\\Loop A', '\\Registry\\Machine\\Software\\Tidewell\\Loop B'),
        link_block('Software\\\\Tidewell\\\\Loop B', '\\Registry\\Machine\\Software\\Tidewell\\Loop A'),
        link_block('Software\\\\Tidewell\\\\To Classes', '\\REGISTRY\\machine\\software\\classes'),
        link_block('Software\\\\Wow6432Node\\\\Classes', '\\Registry\\Machine\\Software\\Classes\\Wow6432Node'),
        '[System\\\\CurrentControlSet\\\\Hardware Profiles\\\\Current\\\\Software\\\\Fonts] 1796673230\n'
        '#time=1dd8684adec847e\n"FIXEDFON.FON"="vgafix.fon"\n"FONTS.FON"="vgasys.fon"\n'
        '"LogPixels"=dword:00000060\n"OEMFONT.FON"="vgaoem.fon"\n',
    ]
    return head('REGISTRY\\\\Machine') + ''.join('\n' + b for b in blocks)


def utf8_userdef():
    return (head('REGISTRY\\\\User\\\\.Default')
            + '\n[Software\\\\Grüße\\\\Ärger] 1796674191\n#time=1dd8686eae7f6ae\n@=str(2):"%SystemRoot%\\\\Ä"\n'
            + '\n[Software\\\\Grüße\\\\日本] 1796674191\n#time=1dd8686eae7f6ae\n"Ünïcödé"="Grüße 𝄞"\n"plain"="text"\n')


def minimal_system():
    return head('REGISTRY\\\\Machine') + '\n[] 1796674191\n#time=1dd8686eae7f6ae\n'


def main():
    files = {'links-system.reg': links_system(), 'utf8-userdef.reg': utf8_userdef(),
             'minimal-system.reg': minimal_system(), 'awkward-user.reg': awkward_user()}
    for name, text in files.items():
        with open(os.path.join(HERE, name), 'w', encoding='utf-8', newline='\n') as f:
            f.write(text)


if __name__ == '__main__':
    main()
