#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Generates the editor's images in resources/images.

    /usr/bin/python3 tools/gen_artwork.py [OUTPUT_DIR]

Needs PIL and numpy (Debian: python3-pil, python3-numpy) and the DejaVu fonts
(fonts-dejavu).  The output is deterministic: every random texture uses a
fixed seed.  Everything is drawn at several times the final size and reduced
by averaging premultiplied pixels, which gives the anti-aliasing.

Images (sizes and stacking are fixed by the editor layout, src/editor/editor_layout.cpp):
    background.bmp      660 x 250  opaque panel (plain bitmap 128): a 24-bit Windows
                                   bitmap, so that neither Linux nor Windows has to
                                   decode it when an instance is created
    knob.png             56 x 3528 63 frames of 56 x 56, value 0 at the top
    bright_lamp.png       8 x 16   small lamp, off above, on below
    channel_switch.png   35 x 120  lever, position 0 (up) above
    lamp.png             12 x 54   lamp, off above, on below
    wide_button.png      50 x 54   lamp centred in a 50 x 27 area, off above, on below

The panel labels are placed from the same control rectangles the editor uses
(CONTROLS below); keep the two in step.

    /usr/bin/python3 tools/gen_artwork.py --live [OUTPUT_DIR]

makes the images of vorla-live's strip instead (default resources/live):
    strip.png           660 x 64   the strip below the editor: tolex, a brushed
                                   plate, labels, recessed displays and meter
                                   slots (places: STRIP below and
                                   src/live/strip_layout.h; keep them in step)
    glyphs.png          665 x 26   the strip's text: DejaVu Sans Mono Bold,
                                   ASCII 32..126 in cells of 7 x 13, one row
                                   amber (displays), one row ink (the plate)
"""

import math
import os
import sys

import numpy as np
from PIL import Image, ImageDraw, ImageFont

FONT_DIR = "/usr/share/fonts/truetype/dejavu"
FONT_LABEL = os.path.join(FONT_DIR, "DejaVuSansCondensed-Bold.ttf")
FONT_LOGO = os.path.join(FONT_DIR, "DejaVuSerif-BoldItalic.ttf")
FONT_SMALL = os.path.join(FONT_DIR, "DejaVuSansCondensed-Bold.ttf")

WIDTH, HEIGHT = 660, 250

# Control rectangles of the editor (left, top, right, bottom), frame pixels.
CONTROLS = {
    "input": (33, 164, 89, 220),
    "channel": (77, 162, 112, 222),
    "crunch": (143, 162, 155, 189),
    "boost": (143, 194, 155, 221),
    "bright": (312, 186, 320, 194),
    "mono": (548, 140, 598, 167),
    "drive1": (199, 164, 255, 220),
    "drive2": (249, 164, 305, 220),
    "contour": (328, 164, 384, 220),
    "low": (379, 164, 435, 220),
    "mid": (428, 164, 484, 220),
    "high": (477, 164, 533, 220),
    "power": (524, 164, 580, 220),
    "volume": (570, 164, 626, 220),
    "quality": (548, 120, 598, 147),
}

KNOB_FRAMES = 63
KNOB_SIZE = 56
KNOB_SKIRT_R = 19.0  # visible knob radius (the rectangles overlap; neighbours are 46 px apart)
KNOB_CAP_R = 12.5
START_ANGLE = 5.0 * math.pi / 4.0   # value 0: lower left
RANGE_ANGLE = -3.0 * math.pi / 2.0  # clockwise over the top to lower right


def centre(name):
    l, t, r, b = CONTROLS[name]
    return ((l + r) / 2.0, (t + b) / 2.0)


# ---------------------------------------------------------------------------
# Layers: float arrays (H, W, 4), premultiplied RGBA in 0..1.


class Canvas:
    def __init__(self, w, h, scale):
        self.w, self.h, self.s = w, h, scale
        self.px = np.zeros((h * scale, w * scale, 4), dtype=np.float64)
        ys, xs = np.mgrid[0 : h * scale, 0 : w * scale]
        # Coordinates of subpixel centres in final-pixel units.
        self.x = (xs + 0.5) / scale
        self.y = (ys + 0.5) / scale

    def over(self, rgb, alpha):
        """Composites colour `rgb` (array broadcastable to (H, W, 3), straight)
        with coverage `alpha` (H, W) over the canvas."""
        alpha = np.clip(alpha, 0.0, 1.0)[..., None]
        rgb = np.asarray(rgb, dtype=np.float64)
        src = np.concatenate([rgb * alpha, alpha], axis=-1) if rgb.ndim == 3 else np.concatenate(
            [np.broadcast_to(rgb, self.px.shape[:2] + (3,)) * alpha, alpha], axis=-1)
        self.px = src + self.px * (1.0 - alpha)

    def image(self):
        """Reduces to the final size and returns an RGBA PIL image (straight alpha)."""
        s = self.s
        small = self.px.reshape(self.h, s, self.w, s, 4).mean(axis=(1, 3))
        a = small[..., 3:4]
        rgb = np.where(a > 1e-6, small[..., :3] / np.maximum(a, 1e-6), 0.0)
        out = np.concatenate([rgb, a], axis=-1)
        return Image.fromarray(np.clip(np.round(out * 255.0), 0, 255).astype(np.uint8), "RGBA")


def smooth_edge(d, width):
    """Coverage for a signed distance d (negative inside), soft over `width` pixels."""
    return np.clip(0.5 - d / width, 0.0, 1.0)


def circle(c, cx, cy, r, soft=None):
    d = np.hypot(c.x - cx, c.y - cy) - r
    return smooth_edge(d, soft if soft else 1.0 / c.s)


def rounded_rect(c, l, t, r, b, radius, soft=None):
    qx = np.maximum(np.maximum(l + radius - c.x, c.x - (r - radius)), 0.0)
    qy = np.maximum(np.maximum(t + radius - c.y, c.y - (b - radius)), 0.0)
    inside = np.minimum(np.maximum(np.maximum(l + radius - c.x, c.x - (r - radius)),
                                   np.maximum(t + radius - c.y, c.y - (b - radius))), 0.0)
    d = np.hypot(qx, qy) + inside - radius
    return smooth_edge(d, soft if soft else 1.0 / c.s)


def _box_blur_axis(arr, r, axis):
    """Moving average of width 2r+1 along `axis`, edges extended."""
    if r <= 0:
        return arr
    pad = [(0, 0)] * arr.ndim
    pad[axis] = (r + 1, r)
    cs = np.cumsum(np.pad(arr, pad, mode="edge"), axis=axis)
    n = arr.shape[axis]
    hi = np.take(cs, np.arange(2 * r + 1, 2 * r + 1 + n), axis=axis)
    lo = np.take(cs, np.arange(0, n), axis=axis)
    return (hi - lo) / (2 * r + 1)


def blur(arr, sigma):
    """Gaussian-like blur of a 2-D float array: three box passes per axis."""
    # Three boxes of width w have variance 3 * (w*w - 1) / 12 = sigma^2.
    r = int(round((math.sqrt(4.0 * sigma * sigma + 1.0) - 1.0) / 2.0))
    out = arr.astype(np.float64)
    for _ in range(3):
        out = _box_blur_axis(out, r, 0)
        out = _box_blur_axis(out, r, 1)
    return out


def text_mask(c, text, font_path, size, x, y, anchor="mm", spacing=0.0):
    """Coverage of `text` at final-pixel position (x, y) and pixel size `size`."""
    img = Image.new("L", (c.w * c.s, c.h * c.s), 0)
    draw = ImageDraw.Draw(img)
    font = ImageFont.truetype(font_path, int(round(size * c.s)))
    if spacing:
        # Letter-spaced: draw character by character, centred as a whole.
        widths = [draw.textlength(ch, font=font) for ch in text]
        total = sum(widths) + spacing * c.s * (len(text) - 1)
        if anchor[0] == "m":
            px = x * c.s - total / 2.0
        elif anchor[0] == "r":
            px = x * c.s - total
        else:
            px = x * c.s
        for ch, wdt in zip(text, widths):
            draw.text((px, y * c.s), ch, font=font, fill=255, anchor="l" + anchor[1])
            px += wdt + spacing * c.s
    else:
        draw.text((x * c.s, y * c.s), text, font=font, fill=255, anchor=anchor)
    return np.asarray(img, dtype=np.float64) / 255.0


# ---------------------------------------------------------------------------
# Background panel


def make_background(scale=3):
    c = Canvas(WIDTH, HEIGHT, scale)
    rng = np.random.default_rng(20261208)
    H, W = c.px.shape[:2]

    # Tolex: a pebbled leather grain lit from the upper left.
    noise = rng.standard_normal((H, W))
    height = blur(noise, 1.2 * scale) * 1.0 + blur(rng.standard_normal((H, W)), 3.0 * scale) * 0.6
    gy, gx = np.gradient(height)
    light = np.clip(0.55 + (-gx * 0.7 - gy * 0.9) * 6.0, 0.0, 1.0)
    base = np.array([0.085, 0.08, 0.078])
    tolex = base[None, None, :] * (0.55 + 0.9 * light[..., None])
    c.over(tolex, np.ones((H, W)))

    # Grille cloth in the upper part, with cream piping round it.
    gl, gt, gr, gb = 14, 10, 646, 104
    weave_u = (c.x + c.y) * 2.0 * math.pi / 2.6
    weave_v = (c.x - c.y) * 2.0 * math.pi / 2.6
    thread = 0.5 + 0.25 * np.cos(weave_u) * np.sign(np.sin(weave_v * 0.5)) + 0.25 * np.cos(weave_v) * np.sign(
        np.sin(weave_u * 0.5))
    fleck = blur(rng.random((H, W)), 0.5 * scale)
    cloth_dark = np.array([0.20, 0.07, 0.055])
    cloth_light = np.array([0.42, 0.20, 0.12])
    t = np.clip(thread * 0.8 + (fleck - 0.5) * 0.9, 0.0, 1.0)[..., None]
    cloth = cloth_dark * (1 - t) + cloth_light * t
    # A gold fleck in the weave, as in a woven amplifier cloth.
    gold_thread = (np.cos(weave_u) > 0.82) & (np.cos(weave_v * 0.5) > 0.6)
    cloth = np.where(gold_thread[..., None], cloth * 0.5 + np.array([0.55, 0.42, 0.20]) * 0.5, cloth)
    # Soft vignette so the cloth looks stretched behind the frame.
    vign = rounded_rect(c, gl, gt, gr, gb, 8, soft=10.0)
    cloth = cloth * (0.55 + 0.45 * vign[..., None])
    cloth_mask = rounded_rect(c, gl, gt, gr, gb, 8)
    c.over(cloth, cloth_mask)
    # Shadow cast by the piping onto the cloth.
    inner = rounded_rect(c, gl + 2, gt + 2, gr - 2, gb - 2, 6, soft=3.0)
    c.over(np.zeros(3), cloth_mask * (1.0 - inner) * 0.55)
    # Piping: a rounded cord, lit from above.
    ring = rounded_rect(c, gl - 1.2, gt - 1.2, gr + 1.2, gb + 1.2, 9.2) * (1.0 - rounded_rect(c, gl + 1.2, gt + 1.2,
                                                                                              gr - 1.2, gb - 1.2, 6.8))
    cord_light = 0.75 + 0.25 * np.clip((gb - c.y) / (gb - gt), 0, 1)
    c.over(np.array([0.86, 0.80, 0.64])[None, None, :] * cord_light[..., None], ring)

    # Logo: "VORLA" in gold script-like italics with an engraved edge.
    lx, ly = WIDTH / 2.0, 52.0
    logo = text_mask(c, "VORLA", FONT_LOGO, 58, lx, ly, spacing=1.5)
    logo_shadow = blur(text_mask(c, "VORLA", FONT_LOGO, 58, lx + 2.0, ly + 3.0, spacing=1.5), 2.0 * scale)
    c.over(np.zeros(3), logo_shadow * 0.85)
    edge = np.clip(blur(logo, 0.9 * scale) * 1.0, 0, 1)
    outline = np.clip(blur(logo, 1.6 * scale) * 3.0, 0, 1)
    c.over(np.array([0.10, 0.07, 0.03]), outline)
    grad = np.clip((c.y - (ly - 22)) / 44.0, 0, 1)[..., None]
    gold_top = np.array([1.0, 0.93, 0.66])
    gold_mid = np.array([0.86, 0.66, 0.28])
    gold_low = np.array([0.62, 0.42, 0.14])
    gold = np.where(grad < 0.5, gold_top * (1 - grad * 2) + gold_mid * grad * 2,
                    gold_mid * (2 - grad * 2) + gold_low * (grad * 2 - 1))
    # Bevel: light on the upper-left slopes of the letters.
    gy, gx = np.gradient(edge)
    bevel = np.clip(0.5 + (-gx - gy) * 3.0 * scale, 0, 1)[..., None]
    gold = np.clip(gold * (0.75 + 0.5 * bevel), 0, 1)
    c.over(gold, logo)
    # Underline swoosh.
    sw_y = ly + 30.0 + 2.0 * np.sin((c.x - lx) / 60.0)
    half = np.clip(1.0 - np.abs(c.x - lx) / 118.0, 0, 1)
    swoosh = smooth_edge(np.abs(c.y - sw_y) - 1.1 * half, 1.0 / scale) * (half > 0)
    c.over(np.array([0.84, 0.66, 0.30]), swoosh * np.clip(half * 3.0, 0, 1))
    tag = text_mask(c, "VALVE  AMPLIFIER  SIMULATOR", FONT_SMALL, 8.5, lx, ly + 42.0, spacing=0.8)
    c.over(np.array([0.86, 0.80, 0.64]), tag * 0.9)

    # Control panel: brushed champagne-gold plate with rounded corners.
    pl, pt, pr, pb = 10, 114, 650, 244
    plate = brushed_plate(c, rng, pl, pt, pr, pb, radius=6, shadow_drop=3, shadow_blur=2.5)

    # Screws in the plate's corners.
    for sx, sy in ((pl + 8, pt + 8), (pr - 8, pt + 8), (pl + 8, pb - 8), (pr - 8, pb - 8)):
        draw_screw(c, sx, sy)

    ink = np.array([0.12, 0.09, 0.05])

    # Knob scales: eleven short ticks round every knob (0 at lower left, 10 at lower right).
    for name in ("input", "drive1", "drive2", "contour", "low", "mid", "high", "power", "volume"):
        kx, ky = centre(name)
        for i in range(11):
            a = START_ANGLE + RANGE_ANGLE * i / 10.0
            r0, r1 = 21.2, 23.6 if i % 5 else 24.6
            ex, ey = math.cos(a), -math.sin(a)
            c.over(ink, line_mask(c, kx + ex * r0, ky + ey * r0, kx + ex * r1, ky + ey * r1,
                                  0.55 if i % 5 else 0.7))

    def label(text, x, y, size=8.2, anchor="mm", spacing=0.35, colour=ink):
        c.over(colour, text_mask(c, text, FONT_LABEL, size, x, y, anchor=anchor, spacing=spacing))

    below = 232.5
    ix, _ = centre("input")
    label("INPUT", ix - 2, below, size=7.6, spacing=0.25)
    # Channel lever: upper position clean/crunch, lower position overdrive.
    # (shifted right of the lever so that they stay clear of the input knob's label)
    chx = 99.0
    label("CLEAN/CRUNCH", chx + 7, 156.0, size=7.4)
    label("OVERDRIVE", chx + 9, below, size=7.2)
    # Lamps with their names to the right.
    for name, text in (("crunch", "CRUNCH"), ("boost", "BOOST")):
        lx_, ly_ = centre(name)
        label(text, lx_ + 8.5, ly_ + 0.5, size=7.4, anchor="lm")
    # Drives: which channel above, DRIVE below.
    for name, text in (("drive1", "CRUNCH"), ("drive2", "OVERDRIVE")):
        kx, _ = centre(name)
        label(text, kx, 156.0, size=7.0)
        label("DRIVE", kx, below, size=7.6, spacing=0.25)
    bx, by = centre("bright")
    label("BRIGHT", bx, by - 11.0, size=7.0)
    for name, text in (("contour", "CONTOUR"), ("low", "LOW"), ("mid", "MID"), ("high", "HIGH"),
                       ("power", "POWER AMP"), ("volume", "VOLUME")):
        kx, _ = centre(name)
        # Power Amp and Volume are only 46 px apart: nudge their names apart.
        label(text, kx + (-2 if name == "power" else 2 if name == "volume" else 0), below, size=7.6, spacing=0.25)
    # Equaliser bracket over the tone knobs.
    ex0, ex1 = centre("contour")[0] - 16, centre("high")[0] + 16
    emid = (ex0 + ex1) / 2.0
    label("EQUALIZER", emid, 156.0, size=7.0, spacing=0.8)
    for a, b in ((ex0, emid - 30), (emid + 30, ex1)):
        c.over(ink, line_mask(c, a, 156.0, b, 156.0, 0.5))
    for xx in (ex0, ex1):
        c.over(ink, line_mask(c, xx, 156.0, xx, 160.0, 0.5))
    # Quality and mono/stereo: the lamp sits in the middle of each 50 x 27 area.
    for name, left_text, right_text in (("quality", "LO-Q", "HI-Q"), ("mono", "MONO", "STEREO")):
        qx, qy = centre(name)
        label(left_text, qx - 9.5, qy + 0.5, size=7.2, anchor="rm")
        label(right_text, qx + 9.5, qy + 0.5, size=7.2, anchor="lm")

    img = c.image().convert("RGB")
    return img


def brushed_plate(c, rng, pl, pt, pr, pb, radius, shadow_drop, shadow_blur):
    """A brushed-brass plate from (pl, pt) to (pr, pb) with rounded corners,
    a soft drop shadow below it and a bevelled edge (light top, dark bottom).
    Returns the plate's mask."""
    plate = rounded_rect(c, pl, pt, pr, pb, radius)
    shadow = rounded_rect(c, pl + 1, pt + shadow_drop, pr + 1, pb + shadow_drop, radius)
    c.over(np.zeros(3), blur(shadow, shadow_blur * c.s) * 0.8)
    H, W = c.px.shape[:2]
    streaks = rng.standard_normal((H, W))
    # Brushing: blur strongly along x only.
    kernel = 40 * c.s
    cs = np.cumsum(np.pad(streaks, ((0, 0), (kernel, kernel)), mode="wrap"), axis=1)
    streaks = (cs[:, 2 * kernel:] - cs[:, : -2 * kernel])[:, :W] / (2 * kernel)
    streaks = streaks / (np.std(streaks) + 1e-9)
    sheen = 0.92 + 0.10 * np.cos((c.y - pt) / (pb - pt) * math.pi * 1.2 - 0.6)
    brushed = np.array([0.80, 0.69, 0.45])[None, None, :] * (sheen + 0.035 * streaks)[..., None]
    c.over(np.clip(brushed, 0, 1), plate)
    rim = plate * (1.0 - rounded_rect(c, pl + 1.5, pt + 1.5, pr - 1.5, pb - 1.5, radius - 1.5))
    shade = np.clip((c.y - pt) / (pb - pt), 0, 1)[..., None]
    c.over(np.array([1.0, 0.95, 0.80]) * (1 - shade) + np.array([0.35, 0.27, 0.14]) * shade, rim * 0.9)
    return plate


def line_mask(c, x0, y0, x1, y1, half_width):
    dx, dy = x1 - x0, y1 - y0
    length2 = dx * dx + dy * dy
    t = np.clip(((c.x - x0) * dx + (c.y - y0) * dy) / max(length2, 1e-9), 0, 1)
    d = np.hypot(c.x - (x0 + t * dx), c.y - (y0 + t * dy)) - half_width
    return smooth_edge(d, 1.0 / c.s)


def draw_screw(c, sx, sy):
    c.over(np.zeros(3), blur(circle(c, sx + 0.6, sy + 1.0, 3.6), 0.8 * c.s) * 0.6)
    head = circle(c, sx, sy, 3.4)
    shade = np.clip(0.5 + ((sx - c.x) + (sy - c.y)) / 7.0, 0, 1)[..., None]
    col = np.array([0.45, 0.43, 0.40]) * (1 - shade) + np.array([0.92, 0.90, 0.86]) * shade
    c.over(col, head)
    slot = line_mask(c, sx - 2.4, sy - 1.2, sx + 2.4, sy + 1.2, 0.45) + line_mask(c, sx - 1.2, sy + 2.4, sx + 1.2,
                                                                                   sy - 2.4, 0.45)
    c.over(np.array([0.15, 0.14, 0.13]), np.clip(slot, 0, 1) * head)


# ---------------------------------------------------------------------------
# Knob strip


def make_knob_frame(value, scale=4):
    c = Canvas(KNOB_SIZE, KNOB_SIZE, scale)
    cx = cy = KNOB_SIZE / 2.0
    dx, dy = c.x - cx, c.y - cy
    r = np.hypot(dx, dy)
    theta = np.arctan2(-dy, dx)  # mathematical angle, counter-clockwise, y up
    angle = START_ANGLE + RANGE_ANGLE * value
    rot = angle - START_ANGLE  # the knob turns with the value; its lighting does not

    # Drop shadow on the panel.
    shadow = blur(circle(c, cx + 1.4, cy + 2.4, KNOB_SKIRT_R + 0.5), 2.2 * scale)
    c.over(np.zeros(3), shadow * 0.75)

    # Skirt: black with a knurled edge, lit from the upper left.
    skirt = circle(c, cx, cy, KNOB_SKIRT_R)
    knurl = 0.5 + 0.5 * np.cos((theta - rot) * 36.0)
    edge_zone = np.clip((r - (KNOB_SKIRT_R - 3.2)) / 3.2, 0, 1)
    light_dir = np.cos(theta - math.radians(135.0))  # brighter towards the upper left
    lum = 0.06 + 0.07 * light_dir * (0.3 + 0.7 * edge_zone) + 0.09 * knurl * edge_zone * (0.6 + 0.4 * light_dir)
    # Conical sheen on the sloped skirt.
    lum = lum + 0.05 * np.clip(np.cos(2.0 * (theta - math.radians(135.0))), 0, 1) * (1 - edge_zone)
    skirt_col = np.clip(np.stack([lum, lum, lum * 1.02], axis=-1), 0, 1)
    c.over(skirt_col, skirt)
    # Rim highlight on the skirt's top edge.
    rim = circle(c, cx, cy, KNOB_SKIRT_R) * (1 - circle(c, cx, cy, KNOB_SKIRT_R - 0.9))
    c.over(np.array([0.55, 0.55, 0.55]), rim * np.clip(light_dir, 0, 1) * 0.8)

    # Pointer line on the skirt: white, from the cap to the edge.
    ex, ey = math.cos(angle), -math.sin(angle)
    pointer = line_mask(c, cx + ex * (KNOB_CAP_R + 1.2), cy + ey * (KNOB_CAP_R + 1.2),
                        cx + ex * (KNOB_SKIRT_R - 1.2), cy + ey * (KNOB_SKIRT_R - 1.2), 0.85)
    c.over(np.array([0.97, 0.96, 0.92]), pointer)

    # Cap: champagne gold with concentric brushing and a fixed highlight.
    cap_shadow = circle(c, cx, cy, KNOB_CAP_R + 0.8, soft=0.8) * (1 - circle(c, cx, cy, KNOB_CAP_R))
    c.over(np.zeros(3), cap_shadow * 0.7)
    cap = circle(c, cx, cy, KNOB_CAP_R)
    rings = 0.5 + 0.5 * np.sin(r * 7.3) * np.sin(r * 2.9 + 1.0)
    specular = np.clip(np.cos(theta - math.radians(125.0)), 0, 1) ** 3 * np.clip(r / KNOB_CAP_R, 0, 1)
    base = np.array([0.80, 0.66, 0.38])
    cap_col = base[None, None, :] * (0.82 + 0.10 * rings[..., None]) + np.array([0.35, 0.30, 0.20]) * specular[..., None]
    # A soft dome: slightly darker towards the lower right.
    dome = np.clip(0.5 + (dx - dy * -1.0) / (KNOB_CAP_R * 4.0), 0, 1)[..., None]
    cap_col = cap_col * (1.05 - 0.25 * dome)
    c.over(np.clip(cap_col, 0, 1), cap)
    # Engraved pointer on the cap.
    cap_pointer = line_mask(c, cx + ex * 3.5, cy + ey * 3.5, cx + ex * (KNOB_CAP_R - 1.6), cy + ey * (KNOB_CAP_R - 1.6),
                            0.7)
    c.over(np.array([0.12, 0.09, 0.05]), cap_pointer * cap)
    return c.image()


def make_knob_strip():
    strip = Image.new("RGBA", (KNOB_SIZE, KNOB_SIZE * KNOB_FRAMES))
    for i in range(KNOB_FRAMES):
        strip.paste(make_knob_frame(i / (KNOB_FRAMES - 1)), (0, i * KNOB_SIZE))
    return strip


# ---------------------------------------------------------------------------
# Lamps and the lever


def make_lamp(w, h, cx, cy, radius, on, scale=6, colour=(1.0, 0.30, 0.12)):
    c = Canvas(w, h, scale)
    colour = np.array(colour)
    # Chrome bezel.
    bezel = circle(c, cx, cy, radius)
    shade = np.clip(0.5 + ((cx - c.x) + (cy - c.y)) / (radius * 2.2), 0, 1)[..., None]
    c.over(np.array([0.30, 0.29, 0.28]) * (1 - shade) + np.array([0.95, 0.94, 0.90]) * shade, bezel)
    glass_r = radius * 0.68
    glass = circle(c, cx, cy, glass_r)
    d = np.clip(np.hypot(c.x - cx, c.y - cy) / glass_r, 0, 1)[..., None]
    if on:
        hot = np.array([1.0, 0.93, 0.70])
        col = hot * (1 - d) ** 1.5 + colour * (1 - (1 - d) ** 1.5)
        c.over(np.clip(col, 0, 1), glass)
    else:
        col = colour * (0.22 + 0.10 * (1 - d))
        c.over(col, glass)
    # Facet highlight.
    hl = circle(c, cx - glass_r * 0.35, cy - glass_r * 0.38, glass_r * 0.32, soft=glass_r * 0.25)
    c.over(np.array([1.0, 1.0, 1.0]), hl * (0.85 if on else 0.55))
    return c.image()


def make_lamp_pair(w, h, cx, cy, radius, colour=(1.0, 0.30, 0.12)):
    img = Image.new("RGBA", (w, 2 * h))
    img.paste(make_lamp(w, h, cx, cy, radius, False, colour=colour), (0, 0))
    img.paste(make_lamp(w, h, cx, cy, radius, True, colour=colour), (0, h))
    return img


def make_lever(up, scale=6):
    w, h = 35, 60
    c = Canvas(w, h, scale)
    nx, ny = 22.0, 30.0
    # Nut and bushing.
    c.over(np.zeros(3), blur(circle(c, nx + 1.0, ny + 1.8, 8.4), 1.5 * scale) * 0.7)
    hexagon = np.zeros_like(c.x)
    ang = np.arctan2(c.y - ny, c.x - nx)
    rr = np.hypot(c.x - nx, c.y - ny)
    hex_r = 8.0 * math.cos(math.pi / 6) / np.cos(((ang + math.pi / 6) % (math.pi / 3)) - math.pi / 6)
    hexagon = smooth_edge(rr - hex_r, 1.0 / scale)
    face = np.floor(((ang + math.pi) / (math.pi / 3))) % 6
    face_lum = np.array([0.55, 0.80, 0.95, 0.70, 0.45, 0.38])[face.astype(int)]
    c.over(np.stack([face_lum, face_lum * 0.99, face_lum * 0.96], axis=-1), hexagon)
    bush = circle(c, nx, ny, 5.2)
    shade = np.clip(0.5 + ((nx - c.x) + (ny - c.y)) / 9.0, 0, 1)[..., None]
    c.over(np.array([0.35, 0.35, 0.35]) * (1 - shade) + np.array([0.96, 0.96, 0.94]) * shade, bush)
    c.over(np.array([0.12, 0.12, 0.12]), circle(c, nx, ny, 2.6))
    # Bat lever: a tapered chrome rod to a ball tip.
    tip_y = ny - 23.0 if up else ny + 23.0
    tx = nx
    # Shadow of the lever on the panel.
    c.over(np.zeros(3), blur(line_mask(c, nx + 1.5, ny + 1.5, tx + 2.5, tip_y + 2.5, 1.8), 1.2 * scale) * 0.55)
    t = np.clip((c.y - ny) / (tip_y - ny), 0, 1)
    half = 1.9 + 1.2 * t
    in_span = ((c.y - ny) * (tip_y - ny) >= 0) & (np.abs(c.y - ny) <= abs(tip_y - ny))
    rod = smooth_edge(np.abs(c.x - tx) - half, 1.0 / scale) * in_span
    across = np.clip((c.x - tx) / np.maximum(half, 1e-3), -1, 1)
    rod_lum = 0.30 + 0.70 * np.clip(1.0 - (across + 0.35) ** 2, 0, 1) ** 0.7
    c.over(np.stack([rod_lum, rod_lum, rod_lum * 0.98], axis=-1), rod)
    ball = circle(c, tx, tip_y, 4.0)
    bshade = np.clip(0.5 + ((tx - c.x) + (tip_y - c.y)) / 5.0, 0, 1)[..., None]
    c.over(np.array([0.30, 0.30, 0.30]) * (1 - bshade) + np.array([1.0, 1.0, 0.98]) * bshade, ball)
    c.over(np.array([1.0, 1.0, 1.0]), circle(c, tx - 1.1, tip_y - 1.1, 0.9, soft=0.6) * 0.9)
    return c.image()


def make_lever_pair():
    img = Image.new("RGBA", (35, 120))
    img.paste(make_lever(True), (0, 0))
    img.paste(make_lever(False), (0, 60))
    return img


# ---------------------------------------------------------------------------


def save(img, path):
    # PNG: smallest file.  BMP (the background): PIL writes an RGB image as an
    # uncompressed 24-bit BI_RGB file, rows bottom-up.
    if path.endswith(".png"):
        img.save(path, optimize=True)
    else:
        img.save(path)
    print("wrote", path, img.size, img.mode)


# ---------------------------------------------------------------------------
# vorla-live's strip

FONT_MONO = os.path.join(FONT_DIR, "DejaVuSansMono-Bold.ttf")
STRIP_W, STRIP_H = 660, 64
GLYPH_W, GLYPH_H = 7, 13
AMBER = np.array([1.0, 0.70, 0.22])
INK = np.array([0.12, 0.09, 0.05])

# Places on the strip (left, top, right, bottom); src/live/strip_layout.h
# holds the same numbers.
STRIP = {
    "input_display": (14, 20, 150, 37),
    "input_meter": (14, 42, 150, 50),
    "gate_display": (158, 20, 262, 37),
    "cab_display": (270, 20, 410, 37),
    "program_display": (418, 20, 560, 37),
    "output_meter": (568, 22, 646, 30),
}
STRIP_LABELS = (("INPUT", 82.0), ("GATE", 214.0), ("CABINET", 344.0), ("PROGRAM", 489.0),
                ("OUTPUT", 607.0))


def make_strip(scale=3):
    c = Canvas(STRIP_W, STRIP_H, scale)
    rng = np.random.default_rng(20261209)
    H, W = c.px.shape[:2]
    noise = rng.standard_normal((H, W))
    height = blur(noise, 1.2 * scale) + blur(rng.standard_normal((H, W)), 3.0 * scale) * 0.6
    gy, gx = np.gradient(height)
    light = np.clip(0.55 + (-gx * 0.7 - gy * 0.9) * 6.0, 0.0, 1.0)
    c.over(np.array([0.085, 0.08, 0.078])[None, None, :] * (0.55 + 0.9 * light[..., None]),
           np.ones((H, W)))

    pl, pt, pr, pb = 6, 3, 654, 61
    plate = brushed_plate(c, rng, pl, pt, pr, pb, radius=5, shadow_drop=2, shadow_blur=2.0)

    # Recessed windows: a dark glass with an inner shadow and a light lower lip.
    for name, (l, t, r, b) in STRIP.items():
        c.over(np.array([1.0, 0.95, 0.80]), rounded_rect(c, l - 1, t - 1, r + 1, b + 1.2, 3) * 0.5)
        glass = rounded_rect(c, l, t, r, b, 2.5)
        c.over(np.array([0.05, 0.045, 0.04]), glass)
        inner = rounded_rect(c, l + 1.5, t + 2.0, r - 1.0, b - 0.5, 2.0, soft=2.0)
        c.over(np.zeros(3), glass * (1.0 - inner) * 0.8)

    for text, x in STRIP_LABELS:
        c.over(INK, text_mask(c, text, FONT_LABEL, 7.6, x, 12.0, spacing=0.25))
    c.over(INK, text_mask(c, "MUTE", FONT_LABEL, 7.6, 596.0, 46.5, spacing=0.25))
    return c.image().convert("RGB")


def make_glyphs(scale=4):
    """ASCII 32..126 in a row of 7 x 13 cells, once in amber and once in ink."""
    chars = [chr(code) for code in range(32, 127)]
    w, h = GLYPH_W * len(chars), GLYPH_H * 2
    c = Canvas(w, h, scale)
    font = ImageFont.truetype(FONT_MONO, 11 * scale)
    for row, colour in enumerate((AMBER, INK)):
        img = Image.new("L", (w * scale, h * scale), 0)
        draw = ImageDraw.Draw(img)
        for i, ch in enumerate(chars):
            x = (i * GLYPH_W + GLYPH_W / 2.0) * scale
            y = (row * GLYPH_H + 10.0) * scale
            draw.text((x, y), ch, font=font, fill=255, anchor="ms")
        c.over(colour, np.asarray(img, dtype=np.float64) / 255.0)
    return c.image()


def main_live(out):
    os.makedirs(out, exist_ok=True)
    save(make_strip(), os.path.join(out, "strip.png"))
    save(make_glyphs(), os.path.join(out, "glyphs.png"))


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    if len(sys.argv) > 1 and sys.argv[1] == "--live":
        main_live(sys.argv[2] if len(sys.argv) > 2 else os.path.join(here, "..", "resources", "live"))
        return
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "resources", "images")
    os.makedirs(out, exist_ok=True)
    save(make_lamp_pair(8, 8, 4.0, 4.0, 3.7), os.path.join(out, "bright_lamp.png"))
    save(make_lamp_pair(12, 27, 6.0, 13.5, 5.6), os.path.join(out, "lamp.png"))
    save(make_lamp_pair(50, 27, 25.0, 13.5, 5.6), os.path.join(out, "wide_button.png"))
    save(make_lever_pair(), os.path.join(out, "channel_switch.png"))
    save(make_knob_strip(), os.path.join(out, "knob.png"))
    save(make_background(), os.path.join(out, "background.bmp"))


if __name__ == "__main__":
    main()
