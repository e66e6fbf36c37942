#!/usr/bin/env python3
"""Renders the SVG artwork of this folder to the PNG files the resource file
bundles. Qt here has no SVG support, so the PNGs are committed and this script
is run by hand after an SVG changes. It drives librsvg and cairo through
ctypes, so nothing beyond the librsvg2-2 runtime is needed.

    resources/render_svg.py            # renders everything
"""
import ctypes
import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))

# (svg, png, width, height) in pixels.
JOBS = [
    ("icons/quillbox.svg", "icons/hicolor/16x16/apps/quillbox.png", 16, 16),
    ("icons/quillbox.svg", "icons/hicolor/24x24/apps/quillbox.png", 24, 24),
    ("icons/quillbox.svg", "icons/hicolor/32x32/apps/quillbox.png", 32, 32),
    ("icons/quillbox.svg", "icons/hicolor/48x48/apps/quillbox.png", 48, 48),
    ("icons/quillbox.svg", "icons/hicolor/64x64/apps/quillbox.png", 64, 64),
    ("icons/quillbox.svg", "icons/hicolor/128x128/apps/quillbox.png", 128, 128),
    ("icons/quillbox.svg", "icons/hicolor/256x256/apps/quillbox.png", 256, 256),
]
for name in ("quillbox", "quillbox_h", "miravel", "miravel_h"):
    JOBS.append((f"images/{name}.svg", f"images/{name}.png", 320, 64))
    JOBS.append((f"images/{name}.svg", f"images/{name}@2x.png", 640, 128))


class RsvgRectangle(ctypes.Structure):
    _fields_ = [("x", ctypes.c_double), ("y", ctypes.c_double),
                ("width", ctypes.c_double), ("height", ctypes.c_double)]


class GError(ctypes.Structure):
    _fields_ = [("domain", ctypes.c_uint32), ("code", ctypes.c_int), ("message", ctypes.c_char_p)]


def libraries():
    rsvg = ctypes.CDLL("librsvg-2.so.2")
    cairo = ctypes.CDLL("libcairo.so.2")
    rsvg.rsvg_handle_new_from_file.restype = ctypes.c_void_p
    rsvg.rsvg_handle_new_from_file.argtypes = [ctypes.c_char_p, ctypes.POINTER(ctypes.POINTER(GError))]
    rsvg.rsvg_handle_render_document.restype = ctypes.c_int
    rsvg.rsvg_handle_render_document.argtypes = [ctypes.c_void_p, ctypes.c_void_p,
                                                 ctypes.POINTER(RsvgRectangle),
                                                 ctypes.POINTER(ctypes.POINTER(GError))]
    cairo.cairo_image_surface_create.restype = ctypes.c_void_p
    cairo.cairo_image_surface_create.argtypes = [ctypes.c_int, ctypes.c_int, ctypes.c_int]
    cairo.cairo_create.restype = ctypes.c_void_p
    cairo.cairo_create.argtypes = [ctypes.c_void_p]
    cairo.cairo_surface_write_to_png.argtypes = [ctypes.c_void_p, ctypes.c_char_p]
    cairo.cairo_destroy.argtypes = [ctypes.c_void_p]
    cairo.cairo_surface_destroy.argtypes = [ctypes.c_void_p]
    gobject = ctypes.CDLL("libgobject-2.0.so.0")
    gobject.g_object_unref.argtypes = [ctypes.c_void_p]
    return rsvg, cairo, gobject


def render(rsvg, cairo, gobject, svg, png, width, height):
    error = ctypes.POINTER(GError)()
    handle = rsvg.rsvg_handle_new_from_file(svg.encode(), ctypes.byref(error))
    if not handle:
        raise RuntimeError(f"{svg}: {error.contents.message.decode() if error else 'unreadable'}")
    surface = cairo.cairo_image_surface_create(0, width, height)  # ARGB32
    context = cairo.cairo_create(surface)
    viewport = RsvgRectangle(0, 0, width, height)
    if not rsvg.rsvg_handle_render_document(handle, context, ctypes.byref(viewport), ctypes.byref(error)):
        raise RuntimeError(f"{svg}: {error.contents.message.decode() if error else 'render failed'}")
    os.makedirs(os.path.dirname(png), exist_ok=True)
    if cairo.cairo_surface_write_to_png(surface, png.encode()) != 0:
        raise RuntimeError(f"{png}: cannot write")
    cairo.cairo_destroy(context)
    cairo.cairo_surface_destroy(surface)
    gobject.g_object_unref(handle)


def main():
    rsvg, cairo, gobject = libraries()
    for svg, png, width, height in JOBS:
        render(rsvg, cairo, gobject, os.path.join(HERE, svg), os.path.join(HERE, png), width, height)
        print(f"{png} {width}x{height}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
