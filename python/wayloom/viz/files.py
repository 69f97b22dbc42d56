"""The file types each kind of picture is written as, checked before anything is drawn.

Plots take matplotlib's own savefig formats; animations are GIF (Pillow) or
MP4 (ffmpeg); the player is an HTML page.
"""

from __future__ import annotations

import os
import pathlib
import shutil

FILE_TYPES: dict[str, tuple[str, ...]] = {
    "plot": (
        ".eps",
        ".jpeg",
        ".jpg",
        ".pdf",
        ".pgf",
        ".png",
        ".ps",
        ".raw",
        ".rgba",
        ".svg",
        ".svgz",
        ".tif",
        ".tiff",
        ".webp",
    ),
    "animation": (".gif", ".mp4"),
    "page": (".htm", ".html"),
}


def ffmpeg() -> str | None:
    """The ffmpeg that matplotlib would run, if it is on the PATH."""
    try:
        import matplotlib
    except ImportError:
        return None
    return shutil.which(str(matplotlib.rcParams["animation.ffmpeg_path"]))


def check_ffmpeg(filename: str | os.PathLike[str]) -> None:
    """``RuntimeError`` when ``filename`` is an MP4 and there is no ffmpeg to write it."""
    if pathlib.Path(filename).suffix.lower() == ".mp4" and ffmpeg() is None:
        raise RuntimeError("writing .mp4 needs ffmpeg on the PATH; write a .gif instead")


def check_filename(kind: str, filename: str | os.PathLike[str]) -> None:
    """``ValueError`` naming the accepted types when ``filename`` is not one of ``kind``'s
    (``"plot"``, ``"animation"`` or ``"page"``); ``RuntimeError`` for an MP4 without ffmpeg."""
    suffix = pathlib.Path(filename).suffix.lower()
    types = FILE_TYPES[kind]
    if suffix not in types:
        raise ValueError(
            f"cannot write {suffix or 'a file without a type'} files; use one of: "
            + ", ".join(types)
        )
    check_ffmpeg(filename)
