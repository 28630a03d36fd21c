"""Where the build takes its package sources from: the machine's own apt configuration, turned
into deb-src entries for Debian 12 (checked through apt's own reading of both), a cached FFmpeg
still built on when that configuration cannot be reached, and no outside host named anywhere
in the repository."""
import hashlib
import os
import pathlib
import re
import subprocess
import sys

import pytest

sys.path.insert(0, str(pathlib.Path(__file__).parents[1]))
from harness import BUILD, SOURCE  # noqa: E402

SECURITY_KEY = " -----BEGIN PGP PUBLIC KEY BLOCK-----\n .\n mDMEZAAAABYJKwYBBAHaRw8BAQdA\n" \
               " -----END PGP PUBLIC KEY BLOCK-----\n"

# Configurations: {file: text}, the number of deb-src indexes they give, and option text each
# entry must keep.
CONFIGURATIONS = {
    "one-line": ({"sources.list": """\
# the machine's mirror
deb http://example.com/mirror/debian bookworm main contrib  # and a comment
deb [arch=amd64 signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] \
http://example.com/mirror/debian bookworm-updates main
  deb [ arch=amd64,i386 trusted=yes ] file:/srv/archive bookworm-security main
deb-src http://example.com/mirror/debian bookworm main
deb http://example.com/mirror/debian trixie main
#deb http://example.com/old/debian bookworm main
deb http://example.com/mirror/debian bookworm-backports main"""},
                 5, ["[arch=amd64 signed-by=/usr/share/keyrings/debian-archive-keyring.gpg]",
                     "[ arch=amd64,i386 trusted=yes ]"]),
    "deb822": ({"sources.list.d/debian.sources": f"""\
Types: deb deb-src
URIs: http://example.com/mirror/debian http://example.org/other/debian
Suites: bookworm bookworm-updates trixie
Components: main non-free-firmware
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg

# security
types: deb
uris: http://example.com/security/debian-security
# within a stanza
suites: bookworm-security
components: main
Signed-By:
{SECURITY_KEY}
Types: deb
Enabled: no
URIs: http://example.com/disabled/debian
Suites: bookworm
Components: main

Types: deb-src
URIs: http://example.com/source-only/debian
Suites: bookworm
Components: main"""},
               9, ["Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg", SECURITY_KEY]),
    # apt reads *.list and *.sources in the parts folder, of these names only.
    "parts": ({"sources.list.d/a.list": "deb http://example.com/a/debian bookworm main",
               "sources.list.d/b.sources": "Types: deb\nURIs: http://example.com/b/debian\n"
                                           "Suites: bookworm\nComponents: main",
               "sources.list.d/c.list.disabled": "deb http://example.com/c/debian bookworm main",
               "sources.list.d/d e.list": "deb http://example.com/d/debian bookworm main",
               "sources.list.d/f.sources.save": "Types: deb\nURIs: http://example.com/f/\n"
                                                "Suites: bookworm\nComponents: main"},
              2, []),
}


def apt_indexes(config, kind):
    """The (address, suite, component) of each index of kind apt reads from config."""
    lines = subprocess.run(
        ["apt-get", "indextargets", "--no-release-info", "--format",
         "$(REPO_URI) $(RELEASE) $(COMPONENT)", f"Target-Of: {kind}"],
        env={**os.environ, "APT_CONFIG": str(config)}, capture_output=True, text=True,
        check=True).stdout
    return set(lines.splitlines())


def apt_config(path, sources_list, parts):
    path.write_text(f'Dir::Etc::SourceList "{sources_list}";\n'
                    f'Dir::Etc::SourceParts "{parts}";\n'
                    f'Dir::State::Lists "{path.parent / "lists"}";\n'
                    'Acquire::Retries "0";\n')  # an unreachable archive fails at once
    return path


@pytest.mark.parametrize("name", CONFIGURATIONS)
def test_deb_entries_of_debian_12_become_deb_src(tmp_path, name):
    files, count, kept = CONFIGURATIONS[name]
    machine = tmp_path / "etc"
    (machine / "sources.list.d").mkdir(parents=True)
    for file, text in files.items():
        (machine / file).write_text(text + "\n")
    config = apt_config(tmp_path / "machine.conf", machine / "sources.list",
                        machine / "sources.list.d")
    subprocess.run([SOURCE / "scripts/deb-src-entries.sh", tmp_path / "deb-src"],
                   env={**os.environ, "APT_CONFIG": str(config)}, check=True)
    written = "".join(path.read_text() for path in sorted((tmp_path / "deb-src").iterdir()))
    ours = apt_config(tmp_path / "ours.conf", "/dev/null", tmp_path / "deb-src")
    wanted = {index for index in apt_indexes(config, "deb")
              if re.search(r" bookworm(-\S+)? ", index)}
    assert apt_indexes(ours, "deb-src") == wanted
    assert len(wanted) == count
    for text in kept:
        assert text in written
    assert "#" not in written


def test_cached_ffmpeg_builds_without_debians_archive(tmp_path):
    """With Debian's archive unreachable and no index yet, the build goes on from the FFmpeg
    source and prefix already in the cache; another archive's ffmpeg for bookworm, reachable,
    is never taken."""
    cmake_cache = (BUILD / "CMakeCache.txt").read_text()
    cached = re.search(r"^FFMPEG_INCLUDE_DIRS:INTERNAL=(.*)/include$", cmake_cache, re.MULTILINE)
    if "KORVEL_FFMPEG:STRING=bundled" not in cmake_cache or not cached:
        pytest.skip("this build links the system's FFmpeg")
    prefix = pathlib.Path(cached[1])
    version = re.match(r"ffmpeg-(.+)-[0-9a-f]{12}$", prefix.name)[1]
    cache = tmp_path / "cache"
    (cache / "source").mkdir(parents=True)
    (cache / "source" / version).symlink_to(prefix.parent / "source" / version)
    (cache / prefix.name).symlink_to(prefix)
    # An archive on this machine whose Release names another origin, with a newer ffmpeg.
    elsewhere = tmp_path / "elsewhere/dists/bookworm"
    (elsewhere / "main/source").mkdir(parents=True)
    index = b"Package: ffmpeg\nVersion: 99:1.0-1\nDirectory: pool\nFiles:\n" \
            b" d41d8cd98f00b204e9800998ecf8427e 0 ffmpeg_1.0-1.dsc\n"
    (elsewhere / "main/source/Sources").write_bytes(index)
    (elsewhere / "Release").write_text(
        "Origin: Elsewhere\nSuite: bookworm\nCodename: bookworm\nComponents: main\n"
        "Date: Sun, 06 Dec 2026 18:00:00 UTC\nSHA256:\n"
        f" {hashlib.sha256(index).hexdigest()} {len(index)} main/source/Sources\n")
    (tmp_path / "etc/parts").mkdir(parents=True)
    (tmp_path / "etc/sources.list").write_text(
        "deb http://127.0.0.1:9/debian bookworm main\n"
        f"deb [trusted=yes] file:{tmp_path}/elsewhere bookworm main\n")
    config = apt_config(tmp_path / "machine.conf", tmp_path / "etc/sources.list",
                        tmp_path / "etc/parts")
    result = subprocess.run([SOURCE / "scripts/build-ffmpeg.sh", cache],
                            env={**os.environ, "APT_CONFIG": str(config)},
                            capture_output=True, text=True, timeout=300)
    assert result.returncode == 0, result.stderr
    assert pathlib.Path(result.stdout.strip()).name == prefix.name
    assert "could not refresh" in result.stderr and "cached source" in result.stderr


def test_repository_names_no_outside_host():
    listed = subprocess.run(["git", "-C", SOURCE, "ls-files"], capture_output=True)
    if listed.returncode != 0:
        pytest.skip("not a git checkout")
    # Every address: scheme, then user, host and port up to the path.
    found = subprocess.run(["git", "-C", SOURCE, "grep", "-I", "-n", "-o", "-E",
                            "[a-z][a-z0-9+.-]*://[A-Za-z0-9._~%@:-]*"],
                           capture_output=True, text=True).stdout
    allowed = r"|localhost|127\.0\.0\.1|(.+\.)?example\.(com|org|net)|.+\.(invalid|test)"
    outside = [line for line in found.splitlines()
               if not re.fullmatch(allowed, re.sub(r"^([^@]*@)?([^:]*)(:\d+)?$", r"\2",
                                                   line.split("://", 1)[1]))]
    assert not outside
