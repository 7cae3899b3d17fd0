"""The ZIP engine against other tools: archives that Info-ZIP, 7-Zip,
bsdtar and Python's zipfile write must list and extract correctly through
arctool.exe, and archives that the engine writes must satisfy those tools.

Usage: python3 zip_interop_test.py ARCTOOL_EXE WINE_RUN
"""
import codecs
import os
import pathlib
import random
import shutil
import subprocess
import sys
import tempfile
import time
import unittest
import zipfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), 'support'))
from wine_drive import wine_drive  # noqa: E402

ARCTOOL = None
WINE_RUN = None


def win(path):
    return 'Z:' + os.path.abspath(path).replace('/', '\\')


def arctool(*args, check=True):
    converted = [win(a) if isinstance(a, PathArg) else a for a in args]
    result = subprocess.run([WINE_RUN, ARCTOOL] + converted, capture_output=True, timeout=300)
    out = result.stdout.decode('utf-8', 'replace')
    err = result.stderr.decode('utf-8', 'replace')
    if check and result.returncode != 0:
        raise AssertionError('arctool %s failed (%d): %s' % (args, result.returncode, err))
    return result.returncode, out, err


class PathArg(str):
    pass


def stored_names(archive):
    """The names as they are stored, in directory order."""
    result = subprocess.run(['unzip', '-Z1', archive], capture_output=True, text=True, check=True)
    return result.stdout.splitlines()




def listing(archive):
    _, out, _ = arctool('list', PathArg(archive))
    rows = {}
    for line in out.splitlines():
        name, size, packed, crc, attributes = line.split('\t')
        rows[name] = (int(size), int(packed), crc, int(attributes, 16))
    return rows


def make_tree(root):
    """Folders, an empty file, text that deflates, bytes that do not."""
    rng = random.Random(7)
    os.makedirs(os.path.join(root, 'docs', 'deep', 'er'))
    os.makedirs(os.path.join(root, 'bin'))
    with open(os.path.join(root, 'empty.txt'), 'wb'):
        pass
    with open(os.path.join(root, 'docs', 'readme.txt'), 'w') as f:
        f.write('\n'.join('line %d of a plain text file' % i for i in range(5000)))
    with open(os.path.join(root, 'docs', 'deep', 'er', 'note.txt'), 'w') as f:
        f.write('a note\n')
    with open(os.path.join(root, 'bin', 'noise.bin'), 'wb') as f:
        f.write(bytes(rng.getrandbits(8) for _ in range(70000)))
    # Times on even seconds in the past, so that DOS times hold them exactly.
    stamp = 1600000000
    for folder, _, files in os.walk(root):
        for name in files:
            stamp += 3600 * 24 + 2
            os.utime(os.path.join(folder, name), (stamp, stamp))


def tree_files(root):
    found = {}
    for folder, _, files in os.walk(root):
        for name in files:
            path = os.path.join(folder, name)
            found[os.path.relpath(path, root)] = path
    return found


class Base(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.work = tempfile.mkdtemp(prefix='zpkinterop')
        cls.src = os.path.join(cls.work, 'src')
        make_tree(cls.src)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.work, ignore_errors=True)

    def check_listing_matches_zipfile(self, archive):
        rows = listing(archive)
        with zipfile.ZipFile(archive) as z:
            for info in z.infolist():
                name = info.filename.replace('/', '\\')
                self.assertIn(name, rows, archive)
                size, packed, crc, _ = rows[name]
                self.assertEqual(size, info.file_size, name)
                self.assertEqual(packed, info.compress_size, name)
                if not name.endswith('\\'):
                    self.assertEqual(crc, '%08x' % info.CRC, name)
                # Every folder that a path passes through is listed.
                parts = name.split('\\')[:-1]
                for i in range(1, len(parts) + 1):
                    self.assertIn('\\'.join(parts[:i]) + '\\', rows, name)
        return rows

    def extract_and_compare(self, archive, expected_root, prefix='', ntfs_times=False, check_times=True):
        dest = tempfile.mkdtemp(dir=self.work)
        arctool('extract', PathArg(archive), PathArg(dest))
        with zipfile.ZipFile(archive) as z:
            for info in z.infolist():
                if info.is_dir():
                    continue
                out = os.path.join(dest, info.filename)
                with open(out, 'rb') as f:
                    self.assertEqual(f.read(), z.read(info), info.filename)
                if not check_times:
                    continue
                rel = info.filename[len(prefix):]
                source = os.path.join(expected_root, rel)
                if ntfs_times:
                    self.assertAlmostEqual(os.stat(out).st_mtime, os.stat(source).st_mtime, delta=1e-6)
                else:
                    dos = time.mktime(info.date_time + (0, 0, -1))
                    self.assertAlmostEqual(os.stat(out).st_mtime, dos, delta=0.001, msg=info.filename)
        return dest

    def check_tools_accept(self, archive):
        t = subprocess.run(['unzip', '-t', archive], capture_output=True, text=True, errors='replace')
        self.assertEqual(t.returncode, 0, t.stdout + t.stderr)
        self.assertIn('No errors detected', t.stdout)
        self.assertNotIn('warning', (t.stdout + t.stderr).lower())
        s = subprocess.run(['7z', 't', archive], capture_output=True, text=True, errors='replace')
        self.assertEqual(s.returncode, 0, s.stdout + s.stderr)
        self.assertIn('Everything is Ok', s.stdout)
        self.assertNotIn('Warnings', s.stdout)
        d = subprocess.run(['zipdetails', archive], capture_output=True, text=True, errors='replace')
        self.assertEqual(d.returncode, 0, d.stderr)
        self.assertNotIn('error', d.stderr.lower())
        self.assertNotIn('warning', (d.stdout + d.stderr).lower())

    def check_python_reads(self, archive, expected):
        """expected: archive name -> bytes."""
        with zipfile.ZipFile(archive) as z:
            self.assertIsNone(z.testzip())
            names = [i.filename for i in z.infolist()]
            self.assertEqual(sorted(names), sorted(expected))
            for name, data in expected.items():
                self.assertEqual(z.read(name), data, name)
                self.assertEqual(z.getinfo(name).CRC, zipfile.crc32(data) & 0xFFFFFFFF, name)


class ReadsInfoZipArchives(Base):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.plain = os.path.join(cls.work, 'infozip.zip')
        # .bin files are stored, the rest deflated; an archive comment and
        # one entry comment answered on stdin.
        subprocess.run(['zip', '-q', '-r', '-n', '.bin', cls.plain, '.'], cwd=cls.src, check=True)
        subprocess.run(['zip', '-q', '-z', cls.plain], input=b'the archive comment\n', check=True)
        subprocess.run(['zip', '-q', '-c', cls.plain, 'docs/readme.txt'], cwd=cls.src,
                       input=b'an entry comment\n', check=True)
        cls.forced64 = os.path.join(cls.work, 'infozip64.zip')
        subprocess.run(['zip', '-q', '-r', '-fz', cls.forced64, '.'], cwd=cls.src, check=True)
        # zip writing to a pipe cannot seek back: data descriptors, and with
        # -fz descriptors with 8-byte sizes.
        cls.streamed = {}
        for name, extra in (('stream.zip', []), ('stream64.zip', ['-fz'])):
            path = os.path.join(cls.work, name)
            data = ('streamed line\n' * 4000).encode()
            p = subprocess.run('zip -q %s - - | cat > %s' % (' '.join(extra), path), shell=True, input=data,
                               check=True)
            cls.streamed[path] = data

    def test_lists_and_extracts_folders_empty_stored_and_deflated_entries(self):
        with zipfile.ZipFile(self.plain) as z:
            methods = {i.compress_type for i in z.infolist() if not i.is_dir() and i.file_size}
        self.assertEqual(methods, {zipfile.ZIP_STORED, zipfile.ZIP_DEFLATED})
        rows = self.check_listing_matches_zipfile(self.plain)
        self.assertEqual(rows['empty.txt'][:3], (0, 0, '00000000'))
        self.extract_and_compare(self.plain, self.src)

    def test_archive_and_entry_comments_survive_a_change(self):
        copy = os.path.join(self.work, 'commented.zip')
        shutil.copy(self.plain, copy)
        arctool('delete', PathArg(copy), 'empty.txt')
        with zipfile.ZipFile(copy) as z:
            self.assertEqual(z.comment, b'the archive comment')
            self.assertEqual(z.getinfo('docs/readme.txt').comment, b'an entry comment')
            self.assertNotIn('empty.txt', z.namelist())
        self.check_tools_accept(copy)

    def test_reads_forced_zip64(self):
        self.check_listing_matches_zipfile(self.forced64)
        self.extract_and_compare(self.forced64, self.src)

    def test_reads_streamed_entries_with_data_descriptors(self):
        for path, data in self.streamed.items():
            with zipfile.ZipFile(path) as z:
                self.assertTrue(z.getinfo('-').flag_bits & 8, path)
            rows = self.check_listing_matches_zipfile(path)
            self.assertEqual(rows['-'][0], len(data))
            dest = tempfile.mkdtemp(dir=self.work)
            arctool('extract', PathArg(path), PathArg(dest), '-')
            with open(os.path.join(dest, '-'), 'rb') as f:
                self.assertEqual(f.read(), data, path)

    def test_rewrites_streamed_entries_without_descriptors(self):
        for path, data in self.streamed.items():
            copy = path + '.copy.zip'
            shutil.copy(path, copy)
            arctool('add', PathArg(copy), PathArg(os.path.join(self.src, 'empty.txt')))
            self.check_tools_accept(copy)
            self.check_python_reads(copy, {'-': data, 'empty.txt': b''})


class ReadsOtherToolsArchives(Base):
    def test_reads_7z_archive_with_ntfs_times(self):
        archive = os.path.join(self.work, 'seven.zip')
        subprocess.run(['7z', 'a', '-tzip', '-mtc=on', archive, '.'], cwd=self.src, check=True,
                       capture_output=True)
        self.check_listing_matches_zipfile(archive)
        self.extract_and_compare(archive, self.src, ntfs_times=True)

    def test_reads_bsdtar_archive_with_data_descriptors(self):
        archive = os.path.join(self.work, 'bsdtar.zip')
        subprocess.run(['bsdtar', '--format', 'zip', '-cf', archive, 'docs', 'bin', 'empty.txt'], cwd=self.src,
                       check=True)
        with zipfile.ZipFile(archive) as z:
            self.assertTrue(any(i.flag_bits & 8 for i in z.infolist()))
        self.check_listing_matches_zipfile(archive)
        self.extract_and_compare(archive, self.src)

    def test_bsdtar_archive_of_dot_is_seen_without_its_dot_components(self):
        # bsdtar -a -cf out.zip . stores ./, ./docs/, ./docs/readme.txt.
        for options in ([], ['--options', 'zip:zip64']):
            with self.subTest(options=options):
                archive = os.path.join(self.work, 'dot%d.zip' % len(options))
                subprocess.run(['bsdtar', '-a', '-cf', archive] + options + ['.'], cwd=self.src, check=True)
                stored = stored_names(archive)
                self.assertIn('./', stored)
                self.assertIn('./docs/readme.txt', stored)
                # ./ is the archive's top level itself: no item of its own.
                self.assertEqual(set(listing(archive)), {n[2:].replace('/', '\\') for n in stored if n != './'})
                self.extract_and_compare(archive, self.src)
                dest = tempfile.mkdtemp(dir=self.work)
                arctool('extract', PathArg(archive), PathArg(dest), 'docs\\readme.txt')
                with open(os.path.join(dest, 'readme.txt'), 'rb') as f, \
                        open(os.path.join(self.src, 'docs', 'readme.txt'), 'rb') as g:
                    self.assertEqual(f.read(), g.read())
                # A change keeps every other entry as it was stored, ./ and
                # the folders included.
                arctool('delete', PathArg(archive), 'docs\\deep\\er\\note.txt')
                self.assertEqual(sorted(stored_names(archive)),
                                 sorted(n for n in stored if n != './docs/deep/er/note.txt'))
                t = subprocess.run(['unzip', '-t', archive], capture_output=True, text=True)
                self.assertEqual(t.returncode, 0, t.stdout + t.stderr)

    def test_reads_python_forced_zip64(self):
        archive = os.path.join(self.work, 'py64.zip')
        with zipfile.ZipFile(archive, 'w', zipfile.ZIP_DEFLATED) as z:
            for rel, path in tree_files(self.src).items():
                info = zipfile.ZipInfo.from_file(path, rel)
                info.compress_type = zipfile.ZIP_DEFLATED
                with open(path, 'rb') as f, z.open(info, 'w', force_zip64=True) as out:
                    out.write(f.read())
        self.check_listing_matches_zipfile(archive)
        self.extract_and_compare(archive, self.src)


class ManyEntries(Base):
    """70,000 entries: more than the end record can count."""
    COUNT = 70000

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.big = os.path.join(cls.work, 'many.zip')
        with zipfile.ZipFile(cls.big, 'w', zipfile.ZIP_STORED) as z:
            for i in range(cls.COUNT):
                z.writestr('f/%05d.txt' % i, b'%d' % i)

    def test_lists_all_entries_of_a_python_zip64_archive(self):
        rows = listing(self.big)
        self.assertEqual(len(rows), self.COUNT + 1)  # and the folder f\
        self.assertEqual(rows['f\\69999.txt'][0], 5)
        dest = tempfile.mkdtemp(dir=self.work)
        arctool('extract', PathArg(self.big), PathArg(dest), 'f\\69999.txt')
        with open(os.path.join(dest, '69999.txt'), 'rb') as f:
            self.assertEqual(f.read(), b'69999')

    def test_commit_keeps_every_entry_and_writes_zip64_end_records(self):
        copy = os.path.join(self.work, 'many-copy.zip')
        shutil.copy(self.big, copy)
        arctool('add', PathArg(copy), PathArg(os.path.join(self.src, 'docs', 'deep', 'er', 'note.txt')))
        with open(copy, 'rb') as f:
            f.seek(-22 - 20 - 56, 2)
            tail = f.read()
        self.assertEqual(tail[:4], b'PK\x06\x06')
        self.assertEqual(tail[56:60], b'PK\x06\x07')
        self.assertEqual(int.from_bytes(tail[76 + 8:76 + 10], 'little'), 0xFFFF)
        self.assertEqual(int.from_bytes(tail[32:40], 'little'), self.COUNT + 1)
        with zipfile.ZipFile(copy) as z:
            self.assertEqual(len(z.infolist()), self.COUNT + 1)
            self.assertEqual(z.read('f/12345.txt'), b'12345')
            self.assertEqual(z.read('note.txt'), b'a note\n')
        # The engine reads back what it wrote, all of it.
        rows = listing(copy)
        self.assertEqual(len(rows), self.COUNT + 2)
        for tool in (['unzip', '-tq', copy], ['7z', 't', copy]):
            r = subprocess.run(tool, capture_output=True, text=True, errors='replace')
            self.assertEqual(r.returncode, 0, r.stdout[-2000:] + r.stderr)


class WritesArchivesOthersRead(Base):
    def expected_tree(self, prefix=''):
        result = {}
        for rel, path in tree_files(self.src).items():
            with open(path, 'rb') as f:
                result[prefix + rel.replace(os.sep, '/')] = f.read()
        return result

    def test_new_archive_from_a_folder(self):
        archive = os.path.join(self.work, 'new.zip')
        arctool('add', PathArg(archive), PathArg(self.src))
        self.check_tools_accept(archive)
        self.check_python_reads(archive, self.expected_tree('src/'))
        # Times come back through the NTFS block.
        dest = self.extract_and_compare(archive, self.src, prefix='src/', ntfs_times=True)
        self.assertTrue(os.path.isdir(os.path.join(dest, 'src', 'docs', 'deep')))

    def test_folder_compression_puts_the_contents_at_the_top(self):
        # The folder menu's compression: a progress window, the folder's own
        # name not in the entries, no entries for folders that hold files.
        archive = os.path.join(self.work, 'compressed.zip')
        arctool('compress', PathArg(archive), PathArg(self.src))
        self.check_tools_accept(archive)
        self.check_python_reads(archive, self.expected_tree())
        with zipfile.ZipFile(archive) as z:
            names = z.namelist()
        self.assertFalse([n for n in names if n.endswith('/')], names)

    def test_drive_root_compresses_with_whole_names(self):
        # A drive root ends in a backslash already: no name below it may
        # lose its first letter, nor a one-letter file its whole name.
        root = tempfile.mkdtemp(dir=self.work)
        files = {'a': b'one letter', 'docs/readme.txt': b'text', 'hollow/': b''}
        for name, data in files.items():
            os.makedirs(os.path.dirname(os.path.join(root, name)), exist_ok=True)
            if not name.endswith('/'):
                with open(os.path.join(root, name), 'wb') as f:
                    f.write(data)
        compressed = os.path.join(self.work, 'drive.zip')
        dropped = os.path.join(self.work, 'drive_dropped.zip')
        with wine_drive(WINE_RUN, root) as drive:
            arctool('compress', PathArg(compressed), drive)
            # Dropped, the drive's contents go into the chosen folder.
            arctool('add', PathArg(dropped), drive, 'in')
        self.check_python_reads(compressed, files)
        self.check_python_reads(dropped, {'in/' + name: data for name, data in files.items()})

    def test_adding_to_and_deleting_from_an_archive(self):
        archive = os.path.join(self.work, 'changed.zip')
        arctool('add', PathArg(archive), PathArg(os.path.join(self.src, 'docs')))
        arctool('add', PathArg(archive), PathArg(os.path.join(self.src, 'bin', 'noise.bin')), 'inner\\place')
        arctool('delete', PathArg(archive), 'docs\\deep\\', 'docs\\readme.txt')
        self.check_tools_accept(archive)
        with open(os.path.join(self.src, 'bin', 'noise.bin'), 'rb') as f:
            self.check_python_reads(archive, {'inner/place/noise.bin': f.read()})
        self.assertNotIn(os.path.basename(archive), [n for n in os.listdir(self.work) if n.startswith('~')])

    def test_duplicate_path_asks_and_answers_are_obeyed(self):
        archive = os.path.join(self.work, 'dup.zip')
        note = os.path.join(self.src, 'docs', 'deep', 'er', 'note.txt')
        arctool('add', PathArg(archive), PathArg(note))
        before = open(archive, 'rb').read()
        code, _, err = arctool('add', PathArg(archive), PathArg(note), check=False)
        self.assertEqual(code, 1)
        self.assertIn('パスの重複', err)
        arctool('--cancel', 'add', PathArg(archive), PathArg(note))
        self.assertEqual(open(archive, 'rb').read(), before)
        arctool('--yes', 'add', PathArg(archive), PathArg(note))
        self.check_python_reads(archive, {'note.txt': b'a note\n'})


def engine_name_without_flag(raw):
    """The name the engine reads from bytes without flag bit 11: code page
    932 as Windows decodes it (single bytes 0x80, 0xA0 and 0xFD-0xFF
    included), UTF-8 when that fails."""
    singles = {0x80: '\x80', 0xA0: '\uf8f0', 0xFD: '\uf8f1', 0xFE: '\uf8f2', 0xFF: '\uf8f3'}

    def windows_singles(error):
        byte = error.object[error.start]
        if byte in singles:
            return singles[byte], error.start + 1
        raise error

    codecs.register_error('windows932', windows_singles)
    try:
        return raw.decode('cp932', 'windows932')
    except UnicodeDecodeError:
        return raw.decode('utf-8')


UTF8_NAMES = ('フォルダ/日本語ファイル.txt', 'Ünïcödé €.txt', 'あ.txt', 'ascii.txt')


class Utf8Names(Base):
    """Names outside the code page (932 in the tests): 7-Zip and Python set
    flag bit 11, Info-ZIP on Linux stores raw UTF-8 without it."""

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.names = os.path.join(cls.work, 'names')
        for i, name in enumerate(UTF8_NAMES):
            path = os.path.join(cls.names, name)
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, 'w') as f:
                f.write('content %d\n' % i)
        env = dict(os.environ, LC_ALL='C.UTF-8')
        cls.archives = {}
        cls.archives['7z'] = os.path.join(cls.work, 'names7z.zip')
        subprocess.run(['7z', 'a', '-tzip', '-bd', cls.archives['7z'], '.'], cwd=cls.names, env=env, check=True,
                       capture_output=True)
        cls.archives['infozip'] = os.path.join(cls.work, 'namesinfozip.zip')
        subprocess.run(['zip', '-q', '-r', cls.archives['infozip'], '.'], cwd=cls.names, env=env, check=True)
        cls.archives['python'] = os.path.join(cls.work, 'namespython.zip')
        with zipfile.ZipFile(cls.archives['python'], 'w', zipfile.ZIP_DEFLATED) as z:
            for name in UTF8_NAMES:
                z.write(os.path.join(cls.names, name), name)

    def expected_files(self):
        result = {}
        for name in UTF8_NAMES:
            with open(os.path.join(self.names, name), 'rb') as f:
                result[name] = f.read()
        return result

    def test_lists_and_extracts_names_of_each_tool(self):
        for tool, archive in self.archives.items():
            with self.subTest(tool=tool):
                rows = listing(archive)
                # Without the flag, a name that is valid in code page 932 is
                # read from it (as always); only the others are UTF-8.
                expected = {}
                for name in UTF8_NAMES:
                    shown = name if tool != 'infozip' else engine_name_without_flag(name.encode('utf-8'))
                    expected[name] = shown
                    self.assertIn(shown.replace('/', '\\'), rows, '%s: %s' % (tool, sorted(rows)))
                if tool == 'infozip':
                    self.assertEqual(expected['あ.txt'], 'あ.txt', 'raw UTF-8 invalid in 932 is read as UTF-8')
                dest = tempfile.mkdtemp(dir=self.work)
                arctool('extract', PathArg(archive), PathArg(dest))
                for name, data in self.expected_files().items():
                    with open(os.path.join(dest, expected[name]), 'rb') as f:
                        self.assertEqual(f.read(), data, '%s: %s' % (tool, name))

    def check_tools_accept_utf8_names(self, archive):
        """7-Zip, Python and zipdetails accept the archive. unzip 6.0 reads
        the central name of an entry made on MS-DOS as UTF-8 when bit 11 is
        set, but converts the local name from the OEM code page regardless,
        and warns that they differ; it tests every entry all the same."""
        s = subprocess.run(['7z', 't', archive], capture_output=True, text=True, errors='replace')
        self.assertEqual(s.returncode, 0, s.stdout + s.stderr)
        self.assertIn('Everything is Ok', s.stdout)
        with zipfile.ZipFile(archive) as z:
            self.assertIsNone(z.testzip())
        d = subprocess.run(['zipdetails', archive], capture_output=True, text=True, errors='replace')
        self.assertEqual(d.returncode, 0, d.stderr)
        self.assertNotIn('warning', (d.stdout + d.stderr).lower())
        t = subprocess.run(['unzip', '-t', archive], capture_output=True, text=True, errors='replace')
        lines = t.stdout.splitlines()
        with zipfile.ZipFile(archive) as z:
            files = [i for i in z.infolist() if not i.is_dir()]
        self.assertEqual(len([l for l in lines if l.strip().startswith('testing:') and l.endswith('OK')]),
                         len(files), t.stdout)
        flagged = [i.filename for i in files if i.flag_bits & 0x800]
        complaints = [l for l in lines if 'mismatching "local" filename' in l]
        self.assertEqual(len(complaints), len(flagged), t.stdout)

    def stored(self, archive):
        """name -> (flag bit 11, stored bytes) of every file entry."""
        result = {}
        with zipfile.ZipFile(archive) as z:
            for info in z.infolist():
                if info.is_dir():
                    continue  # folder entries are not written again
                raw = info.orig_filename.encode('utf-8' if info.flag_bits & 0x800 else 'cp437')
                text = raw.decode('utf-8') if info.flag_bits & 0x800 else raw.decode('cp932', 'replace')
                result[text] = (bool(info.flag_bits & 0x800), raw)
        return result

    def test_engine_writes_utf8_only_where_the_code_page_fails(self):
        archive = os.path.join(self.work, 'engine_names.zip')
        arctool('add', PathArg(archive), PathArg(self.names))
        stored = self.stored(archive)
        self.assertEqual(stored['names/Ünïcödé €.txt'], (True, 'names/Ünïcödé €.txt'.encode('utf-8')))
        self.assertEqual(stored['names/フォルダ/日本語ファイル.txt'],
                         (False, 'names/フォルダ/日本語ファイル.txt'.encode('cp932')))
        self.assertEqual(stored['names/あ.txt'], (False, 'names/あ.txt'.encode('cp932')))
        self.check_tools_accept_utf8_names(archive)
        # A change keeps every other entry's name bytes and flag.
        arctool('delete', PathArg(archive), 'names\\ascii.txt')
        after = self.stored(archive)
        del stored['names/ascii.txt']
        self.assertEqual(after, stored)
        dest = tempfile.mkdtemp(dir=self.work)
        arctool('extract', PathArg(archive), PathArg(dest))
        with open(os.path.join(dest, 'names', 'Ünïcödé €.txt'), 'rb') as f:
            self.assertEqual(f.read(), self.expected_files()['Ünïcödé €.txt'])

    def test_commit_carries_names_of_other_tools_unchanged(self):
        for tool in ('7z', 'infozip'):
            with self.subTest(tool=tool):
                archive = os.path.join(self.work, 'carried_%s.zip' % tool)
                shutil.copy(self.archives[tool], archive)
                before = self.stored(archive)
                arctool('add', PathArg(archive), PathArg(os.path.join(self.src, 'docs', 'readme.txt')))
                after = self.stored(archive)
                self.assertIn('readme.txt', after)
                del after['readme.txt']
                self.assertEqual(after, before)
                self.assertEqual(set(listing(archive)) - {'readme.txt'}, set(listing(self.archives[tool])))


JAPANESE_PASSWORD = '秘密のパス'


class ReadsEncryptedArchives(Base):
    """Traditional and AES encryption as Info-ZIP and 7-Zip write them,
    opened and changed through arctool's --password."""

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.archives = {}
        # .bin files stored, the rest deflated.
        path = os.path.join(cls.work, 'zip-P.zip')
        subprocess.run(['zip', '-q', '-r', '-n', '.bin', '-P', 'secret', path, '.'], cwd=cls.src, check=True)
        cls.archives['zip -P'] = path
        for method, level in (('ZipCrypto', '0'), ('ZipCrypto', '5'), ('AES128', '0'), ('AES128', '5'),
                              ('AES192', '5'), ('AES256', '0'), ('AES256', '5')):
            path = os.path.join(cls.work, '7z-%s-mx%s.zip' % (method, level))
            subprocess.run(['7z', 'a', '-tzip', '-bd', '-psecret', '-mem=' + method, '-mx' + level, path, '.'],
                           cwd=cls.src, check=True, capture_output=True)
            cls.archives['7z %s -mx%s' % (method, level)] = path
        # zip writing to a pipe: data descriptors, whose entries are checked
        # against the time instead of the CRC; with -fz also Zip64.
        cls.streamed_data = ('streamed secret line\n' * 4000).encode()
        cls.streamed = {}
        for name, extra in (('stream-P.zip', ''), ('stream-P64.zip', '-fz')):
            path = os.path.join(cls.work, name)
            subprocess.run('zip -q %s -P secret - - | cat > %s' % (extra, path), shell=True,
                           input=cls.streamed_data, check=True)
            cls.streamed[name] = path

    def check_extracts_tree(self, archive, password, skip=()):
        dest = tempfile.mkdtemp(dir=self.work)
        arctool('extract', PathArg(archive), PathArg(dest), '--password', password)
        for rel, source in tree_files(self.src).items():
            if rel in skip:
                continue
            with open(source, 'rb') as f, open(os.path.join(dest, rel), 'rb') as g:
                self.assertEqual(g.read(), f.read(), '%s: %s' % (archive, rel))

    def test_extracts_traditional_and_aes_entries_stored_and_deflated(self):
        for tool, archive in self.archives.items():
            with self.subTest(tool=tool):
                with zipfile.ZipFile(archive) as z:
                    files = [i for i in z.infolist() if not i.is_dir() and i.file_size]
                self.assertTrue(all(i.flag_bits & 1 for i in files), tool)
                if 'AES' in tool:
                    self.assertTrue(all(i.compress_type == 99 for i in files), tool)
                self.check_extracts_tree(archive, 'secret')

    def test_extracts_streamed_entries_with_descriptors_and_zip64(self):
        for name, archive in self.streamed.items():
            with self.subTest(archive=name):
                with zipfile.ZipFile(archive) as z:
                    info = z.infolist()[0]
                self.assertTrue(info.flag_bits & 0x9 == 0x9, name)
                dest = tempfile.mkdtemp(dir=self.work)
                arctool('extract', PathArg(archive), PathArg(dest), '--password', 'secret')
                with open(os.path.join(dest, '-'), 'rb') as f:
                    self.assertEqual(f.read(), self.streamed_data, name)

    def test_japanese_passwords_of_zip_in_code_page_932_and_of_bsdtar_in_utf8(self):
        made = {}
        path = os.path.join(self.work, 'jp-zip.zip')
        subprocess.run([b'zip', b'-q', b'-r', b'-P', JAPANESE_PASSWORD.encode('cp932'), path.encode(), b'.'],
                       cwd=self.src, check=True)
        made['zip -P cp932'] = path
        # 7-Zip refuses a password outside ASCII in ZIP archives; bsdtar
        # stores its UTF-8 bytes, for both ciphers.
        for method in ('zipcrypt', 'aes256'):
            path = os.path.join(self.work, 'jp-bsdtar-%s.zip' % method)
            subprocess.run([b'bsdtar', b'--format', b'zip', b'--options', b'zip:encryption=' + method.encode(),
                            b'--passphrase', JAPANESE_PASSWORD.encode('utf-8'), b'-cf', path.encode(), b'.'],
                           cwd=self.src, check=True, env=dict(os.environ, LC_ALL='C.UTF-8'))
            made['bsdtar utf-8 ' + method] = path
        for tool, archive in made.items():
            with self.subTest(tool=tool):
                self.check_extracts_tree(archive, JAPANESE_PASSWORD)
        # A write-back keeps the bytes the password was stored as.
        for tool, encoding in (('zip -P cp932', 'cp932'), ('bsdtar utf-8 zipcrypt', 'utf-8')):
            with self.subTest(write_back=tool):
                edit = os.path.join(tempfile.mkdtemp(dir=self.work), 'note.txt')
                pathlib.Path(edit).write_bytes(b'a new note\n')
                arctool('writeback', PathArg(made[tool]), 'docs\\deep\\er\\note.txt', PathArg(edit),
                        '--password', JAPANESE_PASSWORD)
                with zipfile.ZipFile(made[tool]) as z:
                    self.assertEqual(z.read('docs/deep/er/note.txt', pwd=JAPANESE_PASSWORD.encode(encoding)),
                                     b'a new note\n')

    def test_wrong_password_ends_with_exit_code_1_and_nothing_written(self):
        for tool in ('zip -P', '7z AES256 -mx5'):
            with self.subTest(tool=tool):
                dest = tempfile.mkdtemp(dir=self.work)
                code, _, err = arctool('extract', PathArg(self.archives[tool]), PathArg(dest), '--password', 'wrong',
                                       check=False)
                self.assertEqual(code, 1, err)
                self.assertIn('パスワードが違います', err)
                self.assertNotIn('wrong', err, 'the password never appears in an error text')
                self.assertEqual(os.listdir(dest), [])

    def test_change_keeps_untouched_encrypted_entries_readable(self):
        # zip -P marks its entries as streamed even in a file, and the mark
        # decides which byte the traditional header checks: a commit that
        # dropped it would make every untouched entry refuse its password.
        for tool in ('zip -P', '7z AES256 -mx5'):
            with self.subTest(tool=tool):
                archive = os.path.join(self.work, 'changed.zip')
                shutil.copyfile(self.archives[tool], archive)
                arctool('delete', PathArg(archive), 'empty.txt')
                if 'AES' not in tool:
                    subprocess.run(['unzip', '-tq', '-P', 'secret', archive], check=True, capture_output=True)
                subprocess.run(['7z', 't', '-psecret', archive], check=True, capture_output=True)
                expected = {rel: pathlib.Path(path).read_bytes() for rel, path in tree_files(self.src).items()
                            if rel != 'empty.txt'}
                with zipfile.ZipFile(archive) as z:
                    read = {i.filename: z.read(i, pwd=b'secret') for i in z.infolist()
                            if not i.is_dir() and 'AES' not in tool}
                self.assertEqual(read, expected if 'AES' not in tool else {})
                self.check_extracts_tree(archive, 'secret', skip={'empty.txt'})

    def test_write_back_and_added_files_keep_the_protection_and_pass_the_tools_checks(self):
        edited = b'edited ' * 3000
        added = b'added later\n' * 500
        compressed = b'compressed into it\n' * 300
        for tool in ('zip -P', '7z AES256 -mx5', '7z AES128 -mx0'):
            with self.subTest(tool=tool):
                folder = tempfile.mkdtemp(dir=self.work)
                archive = os.path.join(folder, 'changed.zip')
                shutil.copyfile(self.archives[tool], archive)
                edit = os.path.join(folder, 'readme.txt')
                pathlib.Path(edit).write_bytes(edited)
                extra = os.path.join(folder, 'added.txt')
                pathlib.Path(extra).write_bytes(added)
                # A folder compressed into the archive, as the folder menu's
                # verb does, joins it encrypted as an added file does.
                more = os.path.join(folder, 'more')
                os.makedirs(more)
                pathlib.Path(more, 'compressed.txt').write_bytes(compressed)
                arctool('writeback', PathArg(archive), 'docs\\readme.txt', PathArg(edit), '--password', 'secret')
                arctool('add', PathArg(archive), PathArg(extra), '--password', 'secret')
                arctool('compress', PathArg(archive), PathArg(more), '--password', 'secret')
                with zipfile.ZipFile(archive) as z:
                    for name in ('docs/readme.txt', 'added.txt', 'compressed.txt'):
                        info = z.getinfo(name)
                        self.assertTrue(info.flag_bits & 1, name)
                        self.assertEqual(info.compress_type == 99, 'AES' in tool, name)
                    if 'AES' not in tool:
                        self.assertEqual(z.read('docs/readme.txt', pwd=b'secret'), edited)
                        self.assertEqual(z.read('added.txt', pwd=b'secret'), added)
                        self.assertEqual(z.read('compressed.txt', pwd=b'secret'), compressed)
                        subprocess.run(['unzip', '-tq', '-P', 'secret', archive], check=True, capture_output=True)
                subprocess.run(['7z', 't', '-psecret', archive], check=True, capture_output=True)
                for name, data in (('docs/readme.txt', edited), ('added.txt', added), ('compressed.txt', compressed)):
                    out = subprocess.run(['7z', 'x', '-so', '-psecret', archive, name], check=True,
                                         capture_output=True).stdout
                    self.assertEqual(out, data, name)
                self.assertNotIn(b'added later', pathlib.Path(archive).read_bytes())
                self.assertNotIn(b'compressed into it', pathlib.Path(archive).read_bytes())

    def test_changed_aes_data_fails_authentication_and_leaves_no_file(self):
        # A stored AE-2 entry keeps no CRC: only the authentication code can
        # tell that its data changed. A deflated one may fail to inflate
        # first; the code still names the fault. A password whose code fails
        # on the first entry it opens may be one that only passed the
        # verifier, and is asked again; the intact entry before the changed
        # one proves it, and then the code's failure is the data's.
        big = os.path.join(self.work, 'big.bin')
        pathlib.Path(big).write_bytes(random.Random(3).randbytes(3 << 20))
        first = os.path.join(self.work, 'a-first.txt')
        pathlib.Path(first).write_bytes(b'intact\n')
        for level, source, name in (('-mx0', os.path.join(self.src, 'bin', 'noise.bin'), 'noise.bin'),
                                    ('-mx5', big, 'big.bin')):
            with self.subTest(level=level):
                archive = os.path.join(self.work, 'tampered%s.zip' % level)
                subprocess.run(['7z', 'a', '-tzip', '-bd', '-psecret', '-mem=AES256', level, archive, first, source],
                               check=True, capture_output=True)
                with zipfile.ZipFile(archive) as z:
                    info = z.getinfo(name)
                intact = tempfile.mkdtemp(dir=self.work)
                arctool('extract', PathArg(archive), PathArg(intact), '--password', 'secret')
                self.assertEqual(pathlib.Path(intact, name).read_bytes(), pathlib.Path(source).read_bytes())
                with open(archive, 'r+b') as f:
                    f.seek(info.header_offset + 26)
                    name_length = int.from_bytes(f.read(2), 'little')
                    extra_length = int.from_bytes(f.read(2), 'little')
                    # Past the header, the name, the extra field, the salt and
                    # the verifier, well inside the data.
                    at = info.header_offset + 30 + name_length + extra_length + 18 + 1000
                    f.seek(at)
                    byte = f.read(1)
                    f.seek(at)
                    f.write(bytes([byte[0] ^ 0x01]))
                dest = tempfile.mkdtemp(dir=self.work)
                code, _, err = arctool('extract', PathArg(archive), PathArg(dest), '--password', 'secret', check=False)
                self.assertEqual(code, 1, err)
                self.assertIn(name, err)
                self.assertIn('認証コード', err)
                self.assertFalse(os.path.exists(os.path.join(dest, name)))
                self.assertTrue(os.path.exists(os.path.join(dest, 'a-first.txt')))
                code, _, err = arctool('extract', PathArg(archive), PathArg(dest), name, '--password', 'secret',
                                       check=False)
                self.assertEqual(code, 1, err)
                self.assertIn('パスワードが違います', err)
                self.assertFalse(os.path.exists(os.path.join(dest, name)))

if __name__ == '__main__':
    ARCTOOL = sys.argv[1]
    WINE_RUN = sys.argv[2]
    unittest.main(argv=[sys.argv[0], '-v'] + sys.argv[3:])
