#!/usr/bin/env python3
"""Makes the small sample images bundled with Pictofold (run with Debian's python3-pil)."""
import math
from PIL import Image, ImageDraw

def landscape(w, h):
    img = Image.new("RGB", (w, h))
    px = img.load()
    for y in range(h):
        for x in range(w):
            sky = y < h * 0.6
            if sky:
                px[x, y] = (90 + y * 100 // h, 150 + y * 60 // h, 235)
            else:
                v = int(60 + 40 * math.sin(x / 17.0) + 30 * (y / h))
                px[x, y] = (40, 100 + v // 2, 40)
    d = ImageDraw.Draw(img)
    d.ellipse((w * 0.7, h * 0.1, w * 0.85, h * 0.1 + w * 0.15), fill=(255, 220, 90))
    d.polygon([(0, h * 0.6), (w * 0.3, h * 0.25), (w * 0.55, h * 0.6)], fill=(120, 110, 130))
    return img

def page_scan(w, h, angle):
    img = Image.new("1", (w, h), 1)
    d = ImageDraw.Draw(img)
    y = 60
    line = 0
    while y < h - 60:
        x = 50
        k = line
        while x < w - 60:
            cw = 8 + (k * 7) % 13
            d.rectangle((x, y, x + cw, y + 18 + (k % 3) * 3), fill=0)
            x += cw + 4 + (12 if k % 6 == 5 else 0)
            k += 1
        y += 40
        line += 1
    return img.rotate(angle, fillcolor=1, expand=False)

landscape(640, 400).save("landscape.jpg", quality=82)
logo = Image.new("RGBA", (160, 160), (0, 0, 0, 0))
d = ImageDraw.Draw(logo)
d.ellipse((10, 10, 150, 150), fill=(220, 40, 60, 200))
d.rectangle((50, 50, 110, 110), fill=(255, 255, 255, 255))
logo.save("logo.png")
landscape(320, 200).convert("P", palette=Image.ADAPTIVE, colors=64).save("palette.bmp")
pages = [page_scan(850, 1100, a) for a in (0, 2)]
pages[0].save("scan.tif", compression="group4", save_all=True, append_images=pages[1:], dpi=(100, 100))
frames = []
for i in range(3):
    f = Image.new("P", (120, 80), 0)
    f.putpalette([255, 255, 255, 30, 90, 200, 240, 160, 20] + [0] * 759)
    ImageDraw.Draw(f).ellipse((10 + i * 30, 20, 50 + i * 30, 60), fill=1 + i % 2)
    frames.append(f)
frames[0].save("bounce.gif", save_all=True, append_images=frames[1:], duration=200, loop=0)
