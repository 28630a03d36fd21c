# shellcheck shell=bash
# Sourced by the scripts in bench/ and tools/: the media files under folders, and a path as
# korvel takes it.
media_files() {
  find "$@" -type f ! -name '*.sh' ! -name '*.py' ! -name '*.md' ! -name '*.tsv' \
    ! -name LICENSE ! -name NOTICE | LC_ALL=C sort
}
path_arg() { printf %s "$1" | base64 -w0; }
