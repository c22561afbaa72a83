#!/usr/bin/env python3
"""The hxm2afp command against a real monitoring store: each format parsed
by its own parser and held against what the store holds, the metrics
checked by promtool, the actions and the exit codes.

usage: command_test.py HXM2AFP AFPSTAT
"""
import csv
import io
import json
import os
import re
import sqlite3
import subprocess
import sys
import tempfile
import unittest

HXM2AFP, AFPSTAT = sys.argv[1], sys.argv[2]
HOSTILE_USER = 'ev,e "q"\n<x>'
HOSTILE_PATH = '/V2/a,b "c"\r\nd\x1b[31m.doc'
# The longest user name every record holds, longer names elsewhere, and byte
# counters whose sum passes 2^64.
LONG_USER, LONG_NAME, LONG_PATH = 'u' * 511, 'e' * 1000, '/LONG/' + 'p' * 994
HUGE = str(2 ** 64 - 1)
HOSTILE_VOLUME = b'@V3\x1b\xc2\x9b'
# Names that would act on a terminal or in a spreadsheet, and what text and
# CSV show of them (before CSV's apostrophe for a formula start). The first
# holds one of each kind the escaper shows; its own test holds every case.
HOSTILE_NAMES = [
    (b'\x1b]0;pwned\x07 csi\xc2\x9b \xe2\x80\xaegnp.exe \xe2\x80\xa8 bad\xff\xc0\xaf back\\x1b',
     rb'\x1B]0;pwned\x07 csi\u009B \u202Egnp.exe \u2028 bad\xFF\xC0\xAF back\\x1b'),
    (b'na\xc3\xafve \xe6\x97\xa5\xf0\x9f\x93\x81', b'na\xc3\xafve \xe6\x97\xa5\xf0\x9f\x93\x81'),
    (b'=HYPERLINK("http://x";"y")', b'=HYPERLINK("http://x";"y")'),
    (b'+1', b'+1'), (b'-2+3', b'-2+3'), (b'@SUM(A1)', b'@SUM(A1)'),
    (b'\tx', rb'\x09x'), (b'\rx', rb'\x0Dx'),
    (HOSTILE_VOLUME, rb'@V3\x1B\u009B'),
]
VISIBLE = {prefix + raw.decode(errors='replace'): prefix + shown.decode()
           for raw, shown in HOSTILE_NAMES for prefix in ('', '/V3/')}
VISIBLE.update({HOSTILE_USER: r'ev,e "q"\x0A<x>',
                HOSTILE_PATH: r'/V2/a,b "c"\x0D\x0Ad\x1B[31m.doc'})
FORMULA_STARTS = '=+-@\t\r'
# What text and CSV may not carry but their line ends: C0, DEL, C1, bidi
# controls and the line and paragraph separators.
ACTING = re.compile('[\x00-\x09\x0b-\x1f\x7f-\x9f\u061c\u200e\u200f\u2028-\u202e'
                    '\u2066-\u2069]')


def csv_cell(text):
    """A text as CSV shows it: made visible, a formula start neutralised."""
    text = VISIBLE.get(text, text)
    return "'" + text if text[:1] in FORMULA_STARTS and text else text


def run(*args, env=None, check=None):
    result = subprocess.run(list(args), capture_output=True, env=env)
    if check is not None:
        assert result.returncode == check, (args, result.returncode, result.stderr)
    return result


class CommandTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.root = tempfile.TemporaryDirectory()
        cls.env = dict(os.environ, ZENTRA_ROOT=cls.root.name)
        os.makedirs(os.path.join(cls.root.name, 'var/opt/zentra/afpstat'))
        cls.afpstat('init')
        cls.afpstat('demo', '--connections', '20', '--files', '200', '--volumes', '3')
        cls.afpstat('volume', 'V2')
        cls.afpstat('connect', HOSTILE_USER, '10.0.0.9', '--number', '4000000000')
        cls.afpstat('open', '4000000000', 'V2', HOSTILE_PATH)
        cls.afpstat('volume', 'LONG')
        cls.afpstat('connect', LONG_USER, '10.0.0.7', '--number', '4000000002', '--read', HUGE,
                    '--written', HUGE, '--requests', '4294967295', '--equiv', LONG_NAME)
        cls.afpstat('open', '4000000002', 'LONG', LONG_PATH)
        cls.afpstat('volume', HOSTILE_VOLUME)
        for index, (name, _) in enumerate(HOSTILE_NAMES):
            cls.afpstat('connect', name, '10.0.0.1', '--number', str(4100000000 + index),
                        '--equiv', name)
            cls.afpstat('open', str(4100000000 + index), HOSTILE_VOLUME, b'/V3/' + name)

    @classmethod
    def afpstat(cls, *args):
        return run(AFPSTAT, *args, env=cls.env, check=0)

    def hxm2afp(self, *args, check=0, env=None):
        return run(HXM2AFP, *args, env=env or self.env, check=check)

    def store(self):
        return json.loads(self.afpstat('list', '--json').stdout)

    def test_every_format_holds_what_the_store_holds(self):
        store = self.store()
        connections = sorted((c['number'], c['user'], c['address'],
                              c['bytes_read'] + c['bytes_written'], c['requests'])
                             for c in store['connections'])
        files = sorted((f['volume'], c['number'], c['user'], f['path'])
                       for c in store['connections'] for f in c['open_files'])
        document = json.loads(self.hxm2afp('connections', '--format', 'json').stdout)
        self.assertEqual(sorted((c['connection'], c['user'], c['address'], c['bytes'],
                                 c['requests']) for c in document['connections']), connections)
        self.assertTrue(all(c['login_time'] is None or c['login_time'].endswith('Z')
                            for c in document['connections']))
        document = json.loads(self.hxm2afp('files', '--format', 'json').stdout)
        self.assertEqual(sorted(tuple(f.values()) for f in document['files']), files)
        rows = list(csv.reader(io.StringIO(
            self.hxm2afp('connections', '--format', 'csv').stdout.decode(), newline='')))
        self.assertEqual(sorted((int(n), u, int(b)) for n, u, _, _, b, _ in rows[1:]),
                         sorted((n, csv_cell(u), b) for n, u, _, b, _ in connections))
        rows = list(csv.reader(io.StringIO(
            self.hxm2afp('files', '--format', 'csv').stdout.decode(), newline='')))
        self.assertEqual(rows[0], ['volume', 'connection', 'user', 'path'])
        self.assertEqual(sorted((v, int(n), u, p) for v, n, u, p in rows[1:]),
                         sorted((csv_cell(v), n, csv_cell(u), csv_cell(p)) for v, n, u, p in files))
        volumes = json.loads(self.hxm2afp('volumes', '--format', 'json').stdout)['volumes']
        self.assertEqual(sum(v['open_files'] for v in volumes), len(files))
        for number, user, names, paths in [('4000000000', HOSTILE_USER, [], [HOSTILE_PATH]),
                                           ('4000000002', LONG_USER, [LONG_NAME], [LONG_PATH])]:
            shown = json.loads(self.hxm2afp('show', number, '--format', 'json').stdout)
            self.assertEqual((shown['user'], shown['security_equivalence'], shown['open_files']),
                             (user, names, paths))
            rows = list(csv.reader(io.StringIO(
                self.hxm2afp('show', number, '--format', 'csv').stdout.decode(), newline='')))
            self.assertEqual([row for row in rows if row[0] in ('user', 'open_files')],
                             [['user', csv_cell(user)]] +
                             [['open_files', csv_cell(path)] for path in paths])
        # Text keeps one line per file: the hostile name's control bytes are shown, not sent.
        text = self.hxm2afp('files', '--user', 'EV,E').stdout
        self.assertEqual(len(text.splitlines()), 2)
        self.assertNotIn(b'\x1b', text)

    def test_text_and_csv_show_names_made_visible(self):
        outputs = [self.afpstat('list').stdout]
        for form in ('text', 'csv'):
            for command in (['connections'], ['files'], ['volumes'], ['show', '4100000000']):
                outputs.append(self.hxm2afp(*command, '--format', form).stdout)
            lines = {line.replace(b',', b' ').split()[0]: line for line in
                     self.hxm2afp('connections', '--format', form).stdout.splitlines()}
            for index, (name, shown) in enumerate(HOSTILE_NAMES):
                line = lines[b'%d' % (4100000000 + index)]
                if form == 'csv':
                    user = next(csv.reader([line.decode()]))[1]
                    self.assertEqual(user, csv_cell(shown.decode()), name)
                else:
                    self.assertIn(b'  ' + shown + b'  ', line, name)
        for output in outputs:
            self.assertNotRegex(output.decode().replace('\r\n', '\n'), ACTING)
            if output.startswith(b'field,value') or output.startswith(b'connection,'):
                for row in csv.reader(io.StringIO(output.decode(), newline='')):
                    for cell in row:
                        self.assertTrue(cell[:1] not in FORMULA_STARTS or not cell
                                        or re.fullmatch('-[0-9]+', cell), (cell, row))

    def test_times_are_iso_8601_or_null(self):
        cases = [(0, None), (1, '1970-01-01T00:00:01Z'), (253402300799, '9999-12-31T23:59:59Z'),
                 (253402300800, None), (2 ** 63 - 1, None), (2 ** 64 - 1, None)]
        database = os.path.join(self.root.name, 'var/opt/zentra/afpstat/afpstat.db')
        with sqlite3.connect(database) as store:
            for index, (seconds, _) in enumerate(cases):
                store.execute('INSERT INTO connections (number, user, address, login_time) '
                              'VALUES (?, ?, ?, ?)', (4200000000 + index, 't', '10.0.0.2',
                                                      seconds - (seconds >> 63 << 64)))
        document = json.loads(self.hxm2afp('connections', '--format', 'json').stdout)
        times = {c['connection']: c['login_time'] for c in document['connections']}
        for index, (seconds, expected) in enumerate(cases):
            number = 4200000000 + index
            self.assertEqual(times[number], expected, seconds)
            shown = json.loads(self.hxm2afp('show', str(number), '--format', 'json').stdout)
            self.assertEqual(shown['login_time'], expected, seconds)
            text = self.hxm2afp('show', str(number)).stdout.decode()
            self.assertRegex(text, '\nLogin time *%s\n' % (expected or ''))

    def test_find_and_sort_options(self):
        cases = [
            (['--name', 'A,B*.DOC'], [HOSTILE_PATH]),
            (['--volume', 'V2'], [HOSTILE_PATH]),
            (['--user', HOSTILE_USER, '--name', 'nothing'], []),
        ]
        for options, paths in cases:
            document = json.loads(self.hxm2afp('files', '--format', 'json', *options).stdout)
            self.assertEqual([f['path'] for f in document['files']], paths, options)
        by_path = json.loads(self.hxm2afp('files', '--sort', 'path', '--format', 'json').stdout)
        paths = [f['path'].encode() for f in by_path['files']]
        self.assertEqual(paths, sorted(paths))
        for column, key in [('bytes', 'bytes'), ('user', 'user'), ('requests', 'requests')]:
            document = json.loads(self.hxm2afp('connections', '--sort', column,
                                               '--format', 'json').stdout)
            keys = [c[key].encode() if key == 'user' else c[key] for c in document['connections']]
            self.assertEqual(keys, sorted(keys), column)

    def test_metrics_pass_promtool_and_reach_the_textfile(self):
        metrics = self.hxm2afp('metrics').stdout
        check = subprocess.run(['promtool', 'check', 'metrics'], input=metrics,
                               capture_output=True)
        self.assertEqual(check.returncode, 0, check.stdout + check.stderr)
        self.assertIn(b'hxm2afp_open_files{volume="V2"} ', metrics)
        store = self.store()['connections']
        values = dict(line.split() for line in metrics.decode().splitlines() if line[0] != '#')
        self.assertEqual(float(values['hxm2afp_connection_bytes']),
                         float(sum(c['bytes_read'] + c['bytes_written'] for c in store)))
        self.assertEqual(float(values['hxm2afp_connection_requests']),
                         float(sum(c['requests'] for c in store)))
        with tempfile.TemporaryDirectory() as directory:
            self.hxm2afp('metrics', '--textfile', directory)
            self.assertEqual(os.listdir(directory), ['hxm2afp.prom'])
            with open(os.path.join(directory, 'hxm2afp.prom'), 'rb') as written:
                self.assertEqual(written.read(), metrics)
            self.hxm2afp('metrics', '--textfile', directory + '/missing', check=1)

    def test_exit_codes_and_messages(self):
        broken = dict(self.env, AFPSTAT_DB=os.path.join(self.root.name, 'none/x.db'))
        moved = dict(self.env, ZENTRA_ROOT=self.root.name + '/elsewhere')
        cases = [
            (['files'], broken, 4, b'store is missing'),
            (['files'], broken, 4, b'tried: %s/none/x.db\n' % self.root.name.encode()),
            (['connections'], moved, 4, b'elsewhere/var/opt/zentra/afpstat/afpstat.db\n'
                                        b'hxm2afp: set ZENTRA_ROOT'),
            (['metrics'], broken, 4, b''),
            (['show', '3999999999'], None, 3, b'no connection 3999999999'),
            (['files', '--volume', 'NOPE'], None, 3, b'no volume'),
            (['files', '--bogus'], None, 2, b'unknown option'),
            (['connections', '--sort', 'size'], None, 2, b'unknown sort column'),
            (['files', '--format', 'xml'], None, 2, b'unknown format'),
            (['clear', '12x', '--yes'], None, 2, b'not a connection number'),
            (['close', HOSTILE_PATH], None, 1, b'add --yes'),
            (['clear', '3999999999', '--yes'], None, 3, b''),
            (['close', '/V2/none', '--yes'], None, 3, b''),
            (['close', 'V2/x', '--yes'], None, 3, b'did you mean /V2/x?'),
            (['show', '1'], broken, 4, b'store is missing'),
            (['clear', '1', '--yes'], broken, 4, b''),
            (['close', '/V2/x', '--yes'], broken, 4, b''),
        ]
        for args, env, code, message in cases:
            result = self.hxm2afp(*args, env=env, check=code)
            self.assertIn(message, result.stderr, args)
        self.assertIn(b'hxm2afp_up 0', self.hxm2afp('metrics', env=broken, check=4).stdout)
        self.assertRegex(self.hxm2afp('--version').stdout, rb'^hxm2afp [0-9]+\.[0-9]+')

    def test_actions_report_each_item_with_the_pages_words(self):
        self.afpstat('connect', 'mallory', '10.0.0.8', '--number', '4000000001')
        self.afpstat('open', '4000000001', 'V2', '/V2/close-me.doc')
        closed = self.hxm2afp('close', '--yes', '--format', 'json', '/V2/close-me.doc',
                              '/V2/gone', '/V2/close-me.doc', check=3)
        self.assertEqual([(c['status'], c['outcome']) for c in json.loads(closed.stdout)['closed']],
                         [(0, 'done'), (2, 'no longer there')])
        cleared = self.hxm2afp('clear', '--yes', '--format', 'csv', '4000000001', '4000000001')
        self.assertEqual(cleared.stdout, b'connection,status,outcome\r\n4000000001,0,"done"\r\n')
        self.hxm2afp('show', '4000000001', check=3)

    def test_the_logger_stays_inside_the_program(self):
        # An exported `log` would take the math function's place in every library.
        symbols = run('nm', '-D', '--defined-only', HXM2AFP, check=0).stdout.split()
        self.assertNotIn(b'log', symbols)


if __name__ == '__main__':
    unittest.main(argv=sys.argv[:1], verbosity=1)
