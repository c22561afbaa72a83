#!/usr/bin/env python3
"""The history from the shell: hxm2afp record beside the simulated AFP
service, and hxm2afp history held against an independent replay of the
service's own log; actions with the Unix user; kill -9, retention, the
settings and (as root) a full disk. The console's history page, asked over
HTTP, is held against the same replay.

usage: history_test.py HXM2AFP AFPSTAT [HXM_CONSOLE PLUGIN]
"""
import calendar
import html
import json
import os
import pwd
import re
import signal
import sqlite3
import subprocess
import sys
import tempfile
import time
import unittest
import urllib.parse
import urllib.request

HXM2AFP, AFPSTAT = sys.argv[1], sys.argv[2]
CONSOLE, PLUGIN = (sys.argv[3:5] + [None, None])[:2]
EVENT = re.compile(r'^(\S+ \S+) afpsvcd\[\d+\]: INFO: connection (\d+): (\S+) '
                   r'(opened|closed|logged out)[ ,](.*)$')
ACTIVITY = re.compile(r'^(\S+ \S+) afpsvcd\[\d+\]: (?:INFO|DEBUG): connection (\d+): '
                      r'\S+ (?:logged in|made)')


def replay(log, initial):
    """The open files after each second of the log, from the `initial` ones:
    {second: {(connection, path): user}}."""
    states, open_files, last = {}, dict(initial), None
    with open(log) as lines:
        for line in lines:
            match = EVENT.match(line.rstrip('\n'))
            if not match:
                continue
            stamp, number, user, what, path = match.groups()
            second = calendar.timegm(time.strptime(stamp, '%Y-%m-%d %H:%M:%S'))
            if last is not None:
                for gap in range(last, second):
                    states[gap] = dict(open_files)
            last = second
            key = (int(number), path)
            if what == 'opened':
                open_files[key] = user
            elif what == 'closed':
                open_files.pop(key, None)
            else:
                open_files = {k: v for k, v in open_files.items() if k[0] != int(number)}
    states[last] = dict(open_files)
    return states


class HistoryTest(unittest.TestCase):
    def setUp(self):
        self.root = tempfile.TemporaryDirectory()
        self.env = dict(os.environ, ZENTRA_ROOT=self.root.name, TZ='UTC')
        self.history_dir = os.path.join(self.root.name, 'var/opt/zentra/history')
        os.makedirs(os.path.join(self.root.name, 'var/opt/zentra/afpstat'))
        self.run_ok(AFPSTAT, 'init')

    def tearDown(self):
        self.root.cleanup()

    def run_ok(self, *args, check=0):
        result = subprocess.run(list(args), capture_output=True, env=self.env)
        self.assertEqual(result.returncode, check, (args, result.stderr))
        return result

    def history(self, *args):
        return json.loads(self.run_ok(HXM2AFP, 'history', '--format', 'json',
                                      *args).stdout)['history']

    def settings(self, text):
        path = os.path.join(self.root.name, 'opt/zentra/lib/libhxm2afp.conf')
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, 'w') as conf:
            conf.write(text)

    def recorder(self, *args, stderr=subprocess.DEVNULL):
        process = subprocess.Popen([HXM2AFP, 'record', '--interval', '1', *args],
                                   env=self.env, stdout=subprocess.DEVNULL, stderr=stderr)
        self.addCleanup(process.kill)
        return process

    def console(self):
        """The console with the plug-in over the test's root: its address."""
        out = open(os.path.join(self.root.name, 'console.out'), 'w+')
        self.addCleanup(out.close)
        process = subprocess.Popen([CONSOLE, '--listen', '127.0.0.1:0', '--plugin', PLUGIN,
                                    '--root', self.root.name, '--access', '0xf'],
                                   env=dict(self.env, ASAN_OPTIONS='detect_leaks=0'),
                                   stdout=out, stderr=subprocess.STDOUT)
        self.addCleanup(self.stopped_cleanly, process, out)
        self.addCleanup(process.terminate)
        for _ in range(200):
            out.seek(0)
            listening = re.search(r'listening on (http://[^\s/]+)', out.read())
            if listening:
                return listening.group(1)
            self.assertIsNone(process.poll(), 'the console stopped')
            time.sleep(0.1)
        self.fail('the console did not start')

    def stopped_cleanly(self, process, out):
        """The console ended on its signal without a sanitizer's report."""
        process.wait(10)
        out.seek(0)
        text = out.read()
        self.assertNotIn('Sanitizer', text)
        self.assertEqual(process.returncode, 0, text[-2000:])

    def history_page(self, base, at):
        """The history page's rows at `at`, posted as its form does: cells as text."""
        form = urllib.parse.urlencode({'FINDNAME': '', 'FINDUSER': '', 'HISTUNTIL': '',
                                       'HISTFROM': time.strftime('%Y-%m-%d %H:%M:%S',
                                                                 time.gmtime(at))})
        with urllib.request.urlopen(urllib.request.Request(
                base + '/afpofm/AFPFindHistory/OpenSince', form.encode(),
                {'Origin': base}), timeout=30) as reply:
            page = reply.read().decode()
        rows = [[html.unescape(re.sub('<[^>]*>', '', cell))
                 for cell in re.findall(r'<td class="tablecol"[^>]*>(.*?)</td>', row)]
                for row in re.findall(r'<TR [^>]*>(.*?)</TR>', page)]
        return [row for row in rows if len(row) == 7]

    def test_who_had_it_open_agrees_with_a_replay_of_the_service_log(self):
        self.run_ok(AFPSTAT, 'demo', '--connections', '20', '--files', '300', '--volumes', '3')
        initial = {(c['number'], f['path']): c['user'] for c in json.loads(
            self.run_ok(AFPSTAT, 'list', '--json').stdout)['connections']
            for f in c['open_files']}
        recorder = self.recorder()
        time.sleep(1.5)
        self.run_ok(AFPSTAT, 'simulate', '--seconds', '12', '--seed', '26')
        recorder.send_signal(signal.SIGTERM)
        self.assertEqual(recorder.wait(timeout=10), 0)
        self.run_ok(HXM2AFP, 'record', '--once')
        states = replay(os.path.join(self.root.name, 'var/opt/zentra/log/afpsvc.log'), initial)
        seconds = sorted(states)
        opened = {}
        for at in seconds:
            for key in states[at]:
                opened.setdefault(key, at)
        certain, paged, base = 0, [], self.console() if CONSOLE else None
        # A recorded cycle is the service at most two seconds before the time
        # asked: what stayed the same through that window is certain. The page
        # is asked the same at a sample of the times.
        for at in seconds[3:]:
            window = [states.get(at - lag, initial) for lag in range(3, -1, -1)]
            must = set.intersection(*(set(state.items()) for state in window))
            may = set.union(*(set(state.items()) for state in window))
            rows = self.history('--at', '@%d' % at)
            answers = [{((row['connection'], row['path']), row['user']) for row in rows}]
            if base and at % max(1, len(seconds) // 15) == 0:
                page = self.history_page(base, at)
                answers.append({((int(row[1]), row[3]), row[2]) for row in page})
                paged += page
            for found in answers:
                self.assertLessEqual(must, found, at)
                self.assertLessEqual(found, may, at)
            certain += len(must)
        self.assertGreater(certain, 1000)
        # Open since: the first cycle after the log's open, within the window.
        opens = [(row['connection'], row['path'], row['open_since']) for row in self.history()]
        opens += [(int(row[1]), row[3], row[4].replace(' ', 'T') + 'Z') for row in paged]
        for connection, path, open_since in opens:
            key = (connection, path)
            if key in opened and opened[key] > seconds[0]:
                since = calendar.timegm(time.strptime(open_since, '%Y-%m-%dT%H:%M:%SZ'))
                self.assertLessEqual(abs(since - opened[key]), 2, (key, open_since))
        # Idle for: since the log's last login or activity line, within a cycle or two.
        active = {}
        with open(os.path.join(self.root.name, 'var/opt/zentra/log/afpsvc.log')) as lines:
            for line in lines:
                match = ACTIVITY.match(line)
                if match:
                    active[int(match.group(2))] = calendar.timegm(
                        time.strptime(match.group(1), '%Y-%m-%d %H:%M:%S'))
        now = time.time()
        connections = json.loads(self.run_ok(HXM2AFP, 'connections', '--format',
                                             'json').stdout)['connections']
        checked = [c for c in connections if c['connection'] in active]
        self.assertTrue(checked)
        for connection in checked:
            self.assertLessEqual(abs(connection['idle_seconds'] -
                                     (now - active[connection['connection']])), 3, connection)
        # The page tells it as of the last cycle, the one run after the log's end.
        store = sqlite3.connect(os.path.join(self.history_dir, 'history.db'))
        recorded = store.execute("SELECT value FROM meta WHERE key = 'last_cycle'").fetchone()[0]
        store.close()
        idle = [(int(row[1]), row[6]) for row in paged if row[6] and int(row[1]) in active]
        self.assertEqual(bool(idle), bool(base))
        for number, text in idle:
            hours, minutes, secs = map(int, text.split(':'))
            self.assertLessEqual(abs(hours * 3600 + minutes * 60 + secs -
                                     (recorded - active[number])), 3, (number, text))

    def test_actions_kill_9_and_retention(self):
        self.run_ok(AFPSTAT, 'demo', '--connections', '6', '--files', '40', '--volumes', '2')
        self.settings('HISTORY_RETENTION_DAYS 1\n')
        recorder = self.recorder()
        time.sleep(3.5)
        recorder.kill()
        killed = time.time()
        recorder.wait()
        store = sqlite3.connect(os.path.join(self.history_dir, 'history.db'))
        last = store.execute("SELECT value FROM meta WHERE key = 'last_cycle'").fetchone()[0]
        self.assertGreaterEqual(last, int(killed) - 2)
        # Restarted, it goes on with the same rows: now is exactly the live list.
        self.run_ok(HXM2AFP, 'record', '--once')
        live = json.loads(self.run_ok(HXM2AFP, 'files', '--format', 'json').stdout)['files']
        now = self.history('--at', 'now')
        self.assertEqual(sorted((f['connection'], f['path']) for f in live),
                         sorted((r['connection'], r['path']) for r in now))
        # A close from the command names the Unix user in the history.
        path = live[0]['path']
        self.run_ok(HXM2AFP, 'close', path, '--yes')
        self.run_ok(HXM2AFP, 'record', '--once')
        rows = self.history('--name', path)
        self.assertEqual([r['closed_by'] for r in rows if r['path'] == path],
                         [pwd.getpwuid(os.getuid()).pw_name] * len(
                             [r for r in rows if r['path'] == path]))
        # Retention: older than a day goes at the next cycle, younger stays.
        day = 86400
        store.execute('UPDATE opens SET first_seen = first_seen - ?1, gone = ?2 WHERE id = 1',
                      (3 * day, int(time.time()) - 2 * day))
        store.execute('UPDATE opens SET first_seen = first_seen - ?1, gone = ?2 WHERE id = 2',
                      (day, int(time.time()) - day // 2))
        store.commit()
        self.run_ok(HXM2AFP, 'record', '--once')
        self.assertEqual([row[0] for row in store.execute(
            'SELECT id FROM opens WHERE id IN (1, 2)')], [2])
        # A backlog goes a batch of 50,000 (and the last one's second) a cycle.
        old = int(time.time()) - 10 * day
        store.executemany('INSERT INTO opens(path_id, session_id, first_seen, last_seen, gone)'
                          ' SELECT path_id, session_id, ?1, ?1, ?1 FROM opens WHERE id = 2',
                          ((old + i,) for i in range(60000)))
        store.commit()
        for left in (9999, 0):
            self.run_ok(HXM2AFP, 'record', '--once')
            self.assertEqual(store.execute('SELECT count(*) FROM opens WHERE gone < ?',
                                           (old + 60000,)).fetchone()[0], left)
        store.close()
        # When the last user goes, every session and file ends in the history.
        listed = json.loads(self.run_ok(HXM2AFP, 'connections', '--format', 'json').stdout)
        numbers = [str(c['connection']) for c in listed['connections']]
        self.run_ok(HXM2AFP, 'clear', *numbers, '--yes')
        self.run_ok(HXM2AFP, 'record', '--once')
        self.assertEqual(self.history('--at', 'now'), [])

    def test_a_store_of_the_older_version_is_brought_up_to_date(self):
        self.run_ok(AFPSTAT, 'demo', '--connections', '2', '--files', '6', '--volumes', '1')
        self.run_ok(HXM2AFP, 'record', '--once')
        store = sqlite3.connect(os.path.join(self.history_dir, 'history.db'))
        store.executescript('CREATE TRIGGER paths_added AFTER INSERT ON paths BEGIN INSERT INTO'
                            ' path_search(rowid, path) VALUES (new.id, new.path); END;'
                            ' PRAGMA user_version = 1')
        service = sqlite3.connect(os.path.join(self.root.name, 'var/opt/zentra/afpstat/afpstat.db'))
        service.executescript("UPDATE open_files SET path = path || '~'")
        service.close()
        self.run_ok(HXM2AFP, 'record', '--once')
        # The row trigger is gone (it would index each new path twice) and
        # the renamed files are found by name.
        self.assertEqual(len(self.history('--name', '~')), 6)
        self.assertEqual(store.execute("SELECT count(*) FROM sqlite_master WHERE name ="
                                       " 'paths_added'").fetchone()[0], 0)
        self.assertEqual(store.execute('PRAGMA user_version').fetchone()[0], 2)
        store.close()

    def test_settings_are_checked_before_anything_runs(self):
        cases = [
            ('HISTORY_INTERVAL 0\n', b'HISTORY_INTERVAL'),
            ('HISTORY_RETENTION_DAYS many\n', b'HISTORY_RETENTION_DAYS'),
            ('HISTORY_MAXIMUM_SIZE 10T\n', b'HISTORY_MAXIMUM_SIZE'),
            ('HISTORY_JOURNAL_FILES maybe\n', b'YES or NO'),
        ]
        for text, named in cases:
            self.settings(text)
            result = self.run_ok(HXM2AFP, 'record', '--once', check=2)
            self.assertIn(named, result.stderr)
            self.assertFalse(os.path.exists(self.history_dir), text)
        for args, named in [(['--at', 'yesterday'], b'--at'),
                            (['--since', '@1'], b'together'),
                            (['--at', '@5', '--since', '@1', '--until', '@9'], b'not both')]:
            self.assertIn(named, self.run_ok(HXM2AFP, 'history', *args, check=2).stderr)

    @unittest.skipUnless(os.getuid() == 0, 'mounting a small tmpfs needs root')
    def test_a_full_disk_is_said_once_and_recording_resumes(self):
        self.run_ok(AFPSTAT, 'demo', '--connections', '4', '--files', '20', '--volumes', '1')
        os.makedirs(self.history_dir)
        if subprocess.run(['mount', '-t', 'tmpfs', '-o', 'size=1m', 'tmpfs',
                           self.history_dir]).returncode != 0:
            self.skipTest('cannot mount a tmpfs here')
        try:
            errors = open(os.path.join(self.root.name, 'recorder.err'), 'w+b')
            self.addCleanup(errors.close)
            recorder = self.recorder(stderr=errors)
            time.sleep(1.5)
            filler = os.path.join(self.history_dir, 'filler')
            fill = os.open(filler, os.O_WRONLY | os.O_CREAT)
            try:
                while os.write(fill, b'\0' * 4096):
                    pass
            except OSError:
                pass
            os.close(fill)
            holder = json.loads(self.run_ok(HXM2AFP, 'connections', '--format', 'json')
                                .stdout)['connections'][0]['connection']
            for number in range(30):
                self.run_ok(AFPSTAT, 'open', str(holder), self.volume(),
                            '/full/disk-%02d-%s.doc' % (number, 'x' * 200))
            time.sleep(4)
            os.unlink(filler)
            time.sleep(2.5)
            recorder.send_signal(signal.SIGTERM)
            recorder.wait(timeout=10)
            errors.seek(0)
            said = errors.read().decode()
            self.assertEqual(said.count('disk is full'), 1, said)
            self.assertIn('the history store: working again', said)
            self.assertEqual(len(self.history('--name', 'disk-', '--at', 'now')), 30)
        finally:
            subprocess.run(['umount', '-l', self.history_dir])

    def volume(self):
        return json.loads(self.run_ok(HXM2AFP, 'volumes', '--format',
                                      'json').stdout)['volumes'][0]['volume']


if __name__ == '__main__':
    unittest.main(argv=sys.argv[:1], verbosity=2)
