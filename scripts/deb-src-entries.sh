#!/usr/bin/env bash
# Writes a deb-src entry for every Debian 12 package source in this machine's apt
# configuration, so that the bundled FFmpeg's source comes from wherever the machine takes its
# packages (a mirror, a proxy, a local archive), and korvel names no address.
#
#   scripts/deb-src-entries.sh <folder>
#
# Each enabled `deb` entry whose suite is bookworm or bookworm-* becomes a `deb-src` entry with
# the same address, suites, components and options (Signed-By and the like): one-line entries
# (sources.list, *.list) into <folder>/one-line.list, deb822 stanzas (*.sources) into
# <folder>/deb822.sources. The configuration is read where apt reads it (apt-config, so
# APT_CONFIG counts), from the files apt reads there.
set -euo pipefail
out=${1:?usage: scripts/deb-src-entries.sh <folder>}
release=bookworm  # Debian 12

eval "$(apt-config shell list Dir::Etc::SourceList/f parts Dir::Etc::SourceParts/d)"
lists=() stanzas=()
[ -f "${list:-}" ] && lists+=("$list")
for file in "${parts:-/nonexistent}"/*; do
  # apt reads only these names in the parts folder.
  [[ -f $file && ${file##*/} =~ ^[A-Za-z0-9_.-]+\.(list|sources)$ ]] || continue
  case $file in *.list) lists+=("$file") ;; *) stanzas+=("$file") ;; esac
done

mkdir -p "$out"
# type [options] address suite component...; a comment runs from # to the line's end.
awk -v release="$release" '
  { sub(/#.*/, "") }
  $1 != "deb" { next }
  {
    i = 2
    if ($2 ~ /^\[/) {
      while (i <= NF && $i !~ /\]$/) i++
      i++
    }
    suite = $(i + 1)
    if (suite != release && index(suite, release "-") != 1) next
    sub(/^[ \t]*deb[ \t]/, "deb-src ")
    print
  }' /dev/null "${lists[@]}" >"$out/one-line.list"

# Stanzas of fields, separated by blank lines (a file ends one too); a field may go on over
# lines that start with a blank (an embedded Signed-By key does); field names are read in any
# case.
for file in "${stanzas[@]}"; do
  sed -e '/^#/d' -e 's/^[[:space:]]*$//' "$file"
  printf '\n\n'
done | awk -v release="$release" '
  function wanted(suite) { return suite == release || index(suite, release "-") == 1 }
  BEGIN { RS = ""; FS = "\n" }
  {
    fields = 0
    for (line = 1; line <= NF; line++) {
      if ($line ~ /^[ \t]/) {
        text[fields] = text[fields] "\n" $line
        value[fields] = value[fields] " " $line
        continue
      }
      fields++
      name[fields] = tolower(substr($line, 1, index($line, ":") - 1))
      text[fields] = $line
      value[fields] = substr($line, index($line, ":") + 1)
    }
    deb = 0
    enabled = 1
    suites = ""
    for (field = 1; field <= fields; field++) {
      count = split(value[field], words, /[ \t]+/)
      for (word = 1; word <= count; word++) {
        if (name[field] == "types" && words[word] == "deb") deb = 1
        if (name[field] == "enabled" && tolower(words[word]) ~ /^(no|false|0)$/) enabled = 0
        if (name[field] == "suites" && wanted(words[word])) suites = suites " " words[word]
      }
    }
    if (!deb || !enabled || suites == "") next
    if (printed++) print ""
    for (field = 1; field <= fields; field++) {
      if (name[field] == "types") print "Types: deb-src"
      else if (name[field] == "suites") print "Suites:" suites
      else if (name[field] != "enabled") print text[field]
    }
  }' >"$out/deb822.sources"
