"""Asks GNOME's thumbnail factory for one thumbnail, as a file manager does, and saves it.

Usage: factory_client.py PATH MIME_TYPE {normal,large}
Prints the path of the saved thumbnail (a PNG in the thumbnail cache); status 3 when the
factory made none.
"""
import os
import sys

import gi

gi.require_version("GnomeDesktop", "3.0")
from gi.repository import Gio, GLib, GnomeDesktop  # noqa: E402


def main():
    path, mime_type, size_name = sys.argv[1:]
    size = getattr(GnomeDesktop.DesktopThumbnailSize, size_name.upper())
    factory = GnomeDesktop.DesktopThumbnailFactory.new(size)
    uri = Gio.File.new_for_path(path).get_uri()
    mtime = int(os.stat(path).st_mtime)
    if not factory.can_thumbnail(uri, mime_type, mtime):
        print(f"no thumbnailer for {mime_type}", file=sys.stderr)
        return 3
    try:
        pixbuf = factory.generate_thumbnail(uri, mime_type, None)
    except GLib.Error as error:
        print(f"no thumbnail: {error.message}", file=sys.stderr)
        return 3
    factory.save_thumbnail(pixbuf, uri, mtime, None)
    print(GnomeDesktop.desktop_thumbnail_path_for_uri(uri, size))
    return 0


if __name__ == "__main__":
    sys.exit(main())
