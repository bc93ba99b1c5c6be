#!/usr/bin/env python3
"""Writes the machines of a MAME -listxml listing as the two datafile formats users download:
a Logiqx XML datafile and a clrmamepro text datafile, keeping what ROM managers read (name,
description, cloneof, romof, and each rom's name, merge, size, crc, sha1, nodump status).

usage: listxml_to_dats.py LISTXML LOGIQX_OUT CLRMAMEPRO_OUT

Read with Python's XML library, not Quillmark's reader, so that the benchmark compares two
readings of one listing.
"""
import sys
import xml.etree.ElementTree as ET
from xml.sax.saxutils import escape, quoteattr


def text_value(value):
    if value and (' ' in value or '"' in value or '(' in value or ')' in value or '\t' in value):
        return '"' + value.replace('\\', '\\\\').replace('"', '\\"') + '"'
    return value


def main():
    source, logiqx_path, text_path = sys.argv[1:4]
    build = ''
    with open(logiqx_path, 'w', encoding='utf-8') as logiqx, open(text_path, 'w', encoding='utf-8') as text:
        started = False
        for event, element in ET.iterparse(source, events=('start', 'end')):
            if event == 'start' and element.tag == 'mame':
                build = element.get('build', '')
                version = build.split(' ')[0]
                logiqx.write('<?xml version="1.0"?>\n'
                             '<!DOCTYPE datafile PUBLIC "-//Logiqx//DTD ROM Management Datafile//EN" '
                             '"http://www.logiqx.com/Dats/datafile.dtd">\n<datafile>\n'
                             '\t<header>\n\t\t<name>MAME</name>\n'
                             f'\t\t<description>MAME {escape(version)}</description>\n'
                             f'\t\t<version>{escape(version)}</version>\n\t</header>\n')
                text.write(f'clrmamepro (\n\tname "MAME"\n\tdescription "MAME {version}"\n\tversion {version}\n)\n\n')
                started = True
                continue
            if event != 'end' or element.tag != 'machine' or not started:
                continue
            attrs = ' '.join(f'{key}={quoteattr(element.get(key))}' for key in ('name', 'cloneof', 'romof')
                             if element.get(key) is not None)
            description = element.findtext('description') or ''
            logiqx.write(f'\t<machine {attrs}>\n\t\t<description>{escape(description)}</description>\n')
            text.write(f'game (\n\tname {text_value(element.get("name"))}\n'
                       f'\tdescription {text_value(description) if description else chr(34) * 2}\n')
            for key in ('cloneof', 'romof'):
                if element.get(key) is not None:
                    text.write(f'\t{key} {text_value(element.get(key))}\n')
            for rom in element.findall('rom'):
                rom_attrs = ' '.join(f'{key}={quoteattr(rom.get(key))}' for key in ('name', 'merge', 'size', 'crc', 'sha1')
                                     if rom.get(key) is not None)
                nodump = rom.get('status') == 'nodump'
                logiqx.write(f'\t\t<rom {rom_attrs}{" status=" + chr(34) + "nodump" + chr(34) if nodump else ""}/>\n')
                fields = [f'name {text_value(rom.get("name"))}']
                if rom.get('merge') is not None:
                    fields.append(f'merge {text_value(rom.get("merge"))}')
                fields.append(f'size {rom.get("size")}')
                for key in ('crc', 'sha1'):
                    if rom.get(key) is not None:
                        fields.append(f'{key} {rom.get(key)}')
                if nodump:
                    fields.append('flags nodump')
                text.write(f'\trom ( {" ".join(fields)} )\n')
            logiqx.write('\t</machine>\n')
            text.write(')\n\n')
            element.clear()
        logiqx.write('</datafile>\n')


if __name__ == '__main__':
    main()
