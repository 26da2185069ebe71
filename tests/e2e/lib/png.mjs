// Decodes the PNG screenshots the browser takes (8-bit RGB or RGBA, not
// interlaced) into RGBA pixels, enough to sample colours; writes PNG slides.

import { crc32, deflateSync, inflateSync } from "node:zlib";

export function decodePng(png) {
    if (png.readUInt32BE(0) !== 0x89504e47) throw new Error("not a PNG");
    let pos = 8;
    let width, height, colorType, bitDepth, interlace;
    const data = [];
    while (pos < png.length) {
        const length = png.readUInt32BE(pos);
        const type = png.toString("latin1", pos + 4, pos + 8);
        const chunk = png.subarray(pos + 8, pos + 8 + length);
        pos += 12 + length;
        if (type === "IHDR") {
            width = chunk.readUInt32BE(0);
            height = chunk.readUInt32BE(4);
            bitDepth = chunk[8];
            colorType = chunk[9];
            interlace = chunk[12];
        } else if (type === "IDAT") {
            data.push(chunk);
        } else if (type === "IEND") {
            break;
        }
    }
    if (bitDepth !== 8 || (colorType !== 2 && colorType !== 6) || interlace !== 0) {
        throw new Error(`PNG of depth ${bitDepth}, colour type ${colorType}, interlace ${interlace} is not handled`);
    }
    const channels = colorType === 6 ? 4 : 3;
    const raw = inflateSync(Buffer.concat(data));
    const stride = width * channels;
    const pixels = Buffer.alloc(width * height * 4);
    let previous = Buffer.alloc(stride);
    for (let y = 0; y < height; ++y) {
        const filter = raw[y * (stride + 1)];
        const line = Buffer.from(raw.subarray(y * (stride + 1) + 1, (y + 1) * (stride + 1)));
        for (let i = 0; i < stride; ++i) {
            const a = i >= channels ? line[i - channels] : 0;
            const b = previous[i];
            const c = i >= channels ? previous[i - channels] : 0;
            let predictor = 0;
            if (filter === 1) predictor = a;
            else if (filter === 2) predictor = b;
            else if (filter === 3) predictor = (a + b) >> 1;
            else if (filter === 4) {
                const pa = Math.abs(b - c), pb = Math.abs(a - c), pc = Math.abs(a + b - 2 * c);
                predictor = pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
            }
            line[i] = (line[i] + predictor) & 0xff;
        }
        for (let x = 0; x < width; ++x) {
            const from = x * channels, to = (y * width + x) * 4;
            pixels[to] = line[from];
            pixels[to + 1] = line[from + 1];
            pixels[to + 2] = line[from + 2];
            pixels[to + 3] = channels === 4 ? line[from + 3] : 255;
        }
        previous = line;
    }
    return { width, height, pixels };
}

// A PNG of RGBA pixels (rows back to back): colour type 6, or 2 (the alpha
// bytes dropped) with `alpha: false`; every row unfiltered.
export function encodePng(width, height, rgba, { alpha = true } = {}) {
    const channels = alpha ? 4 : 3;
    const raw = Buffer.alloc(height * (width * channels + 1));
    for (let y = 0, at = 0; y < height; ++y) {
        raw[at++] = 0;
        for (let x = 0; x < width; ++x) {
            const from = (y * width + x) * 4;
            for (let c = 0; c < channels; ++c) raw[at++] = rgba[from + c];
        }
    }
    const chunk = (type, data) => {
        const head = Buffer.alloc(8);
        head.writeUInt32BE(data.length, 0);
        head.write(type, 4, "latin1");
        const crc = Buffer.alloc(4);
        crc.writeUInt32BE(crc32(Buffer.concat([head.subarray(4), data])), 0);
        return Buffer.concat([head, data, crc]);
    };
    const header = Buffer.alloc(13);
    header.writeUInt32BE(width, 0);
    header.writeUInt32BE(height, 4);
    header[8] = 8; // bits per channel
    header[9] = alpha ? 6 : 2;
    return Buffer.concat([Buffer.from([0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a]), chunk("IHDR", header),
        chunk("IDAT", deflateSync(raw)), chunk("IEND", Buffer.alloc(0))]);
}
