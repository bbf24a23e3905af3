#!/usr/bin/env python3
"""make_dist.py ROOT BUILD OUT: writes OUT/pngplug-VERSION-win32.zip from the
win32 build folder BUILD and the sources in ROOT, and prints its name.

The archive is reproducible: its entries come in a fixed order, each with
the time of the last commit (or 1980-01-01 outside a git checkout) and fixed
attributes, so the same commit gives the same bytes.

It refuses (exit 1, nothing written) when ROOT/CHANGELOG.md has no section
"## [VERSION] - YYYY-MM-DD" for the version being packed.
"""
import hashlib
import re
import subprocess
import sys
import time
import zipfile
from pathlib import Path

PICTURES = ['bg.png', 'gauntlet_woman.png', 'ico_podium_kbz1.png', 'kbz logo.png', 'ms34.png', 'music.png']


def version_of(build):
    header = (build / 'pngplug_version.h').read_text()
    return re.search(r'#define PNGPLUG_VERSION_TEXT "([^"]+)"', header).group(1)


def changelog_section(root, version):
    """True when CHANGELOG.md has the dated heading of a released VERSION."""
    changelog = root / 'CHANGELOG.md'
    heading = re.compile(rf'^## \[{re.escape(version)}\] - \d{{4}}-\d{{2}}-\d{{2}}$', re.MULTILINE)
    return changelog.is_file() and heading.search(changelog.read_text(encoding='utf-8')) is not None


def licence_text(root):
    """pngplug's own licence, then the notices of the code linked into the DLL:
    the paragraphs after the first of the Licence section that ends README.txt."""
    readme = (root / 'tools/dist/README.txt').read_text()
    _, found, section = readme.partition('\nLicence\n-------\n')
    _, gap, notices = section.partition('\n\n')
    if not (found and gap):
        raise ValueError('tools/dist/README.txt has no Licence section with notices')
    third_party = 'Third-party code in pngplug.dll\n-------------------------------\n'
    return (root / 'LICENSE').read_text() + '\n' + third_party + notices


def commit_time(root):
    try:
        stamp = subprocess.run(['git', '-C', str(root), 'log', '-1', '--format=%ct'], capture_output=True,
                               text=True, check=True).stdout.strip()
        return max(time.gmtime(int(stamp))[:6], (1980, 1, 1, 0, 0, 0))
    except (OSError, subprocess.CalledProcessError, ValueError):
        return (1980, 1, 1, 0, 0, 0)


def contents(root, build, version):
    """(name in the archive, bytes), in archive order."""
    readme = (root / 'tools/dist/README.txt').read_text().replace('@VERSION@', version)
    files = [
        ('pngplug.dll', (build / 'plugin/pngplug.dll').read_bytes()),
        ('include/pngplug.h', (root / 'plugin/pngplug.h').read_bytes()),
        ('lib/pngplug.lib', (build / 'plugin/pngplug.lib').read_bytes()),
        ('lib/libpngplug.dll.a', (build / 'plugin/libpngplug.dll.a').read_bytes()),
        ('pngplug-host.exe', (build / 'tools/host/pngplug-host.exe').read_bytes()),
        ('src/host.cpp', (root / 'tools/host/host.cpp').read_bytes()),
        ('src/host_shot.cpp', (root / 'tools/host/host_shot.cpp').read_bytes()),
        ('src/host_shot.h', (root / 'tools/host/host_shot.h').read_bytes()),
        ('README.txt', readme.replace('\n', '\r\n').encode('ascii')),
        ('LICENSE.txt', licence_text(root).replace('\n', '\r\n').encode('ascii')),
    ]
    files += [(name, (root / 'samples' / name).read_bytes()) for name in PICTURES]
    sums = ''.join(f'{hashlib.sha256(data).hexdigest()}  {name}\n' for name, data in files)
    return files + [('SHA256SUMS', sums.encode('ascii'))]


def main():
    if len(sys.argv) != 4:
        print(__doc__, file=sys.stderr)
        return 2
    root, build, out = (Path(a).resolve() for a in sys.argv[1:])
    version = version_of(build)
    if not changelog_section(root, version):
        print(f'make_dist: CHANGELOG.md has no section "## [{version}] - YYYY-MM-DD" for version {version} '
              f'(the version in project() of CMakeLists.txt); add one before making the archive', file=sys.stderr)
        return 1
    top = f'pngplug-{version}-win32'
    stamp = commit_time(root)
    out.mkdir(parents=True, exist_ok=True)
    archive = out / f'{top}.zip'
    with zipfile.ZipFile(archive, 'w') as zip_file:
        for name, data in contents(root, build, version):
            entry = zipfile.ZipInfo(f'{top}/{name}', date_time=stamp)
            entry.create_system = 0  # MS-DOS attributes only: nothing from this machine
            entry.external_attr = 0
            entry.compress_type = zipfile.ZIP_DEFLATED
            zip_file.writestr(entry, data, compresslevel=9)
    print(archive)
    return 0


if __name__ == '__main__':
    sys.exit(main())
