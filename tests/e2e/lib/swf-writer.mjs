// A tiny SWF writer of our own, independent of the C++ library, for fixtures
// that prove the player harness and the readers before the converter makes
// slides. It knows just enough tags for that: background colour, solid and
// bitmap-filled rectangles, PlaceObject2, DefineButton2, DoAction,
// DefineBitsJPEG2 and the sound tags.

export class BitWriter {
    constructor() {
        this.bytes = [];
        this.current = 0;
        this.used = 0; // bits used in `current`
    }

    ub(count, value) {
        for (let bit = count - 1; bit >= 0; --bit) {
            this.current = (this.current << 1) | (Math.floor(value / 2 ** bit) & 1);
            if (++this.used === 8) this.#flush();
        }
        return this;
    }

    sb(count, value) {
        return this.ub(count, value < 0 ? 2 ** count + value : value);
    }

    align() {
        if (this.used > 0) {
            this.current <<= 8 - this.used;
            this.#flush();
        }
        return this;
    }

    u8(value) { return this.align().#push(value & 0xff); }
    u16(value) { return this.u8(value).u8(value >>> 8); }
    u32(value) { return this.u16(value & 0xffff).u16(value >>> 16); }
    raw(bytes) { this.align(); for (const b of bytes) this.bytes.push(b); return this; }

    buffer() {
        this.align();
        return Buffer.from(this.bytes);
    }

    #push(value) { this.bytes.push(value); return this; }

    #flush() {
        this.bytes.push(this.current & 0xff);
        this.current = 0;
        this.used = 0;
    }
}

// Bits for a signed field holding every value given (at least 1).
export function signedBits(...values) {
    let bits = 1;
    for (const v of values) {
        const magnitude = v < 0 ? -v - 1 : v;
        let needed = 1;
        while (magnitude >= 2 ** (needed - 1)) ++needed;
        bits = Math.max(bits, needed);
    }
    return bits;
}

export function writeRect(w, { xMin, xMax, yMin, yMax }) {
    const n = signedBits(xMin, xMax, yMin, yMax);
    w.ub(5, n).sb(n, xMin).sb(n, xMax).sb(n, yMin).sb(n, yMax).align();
}

// Translation only, or a scale as 16.16 fixed point.
export function writeMatrix(w, { x = 0, y = 0, scaleX, scaleY } = {}) {
    if (scaleX !== undefined) {
        const sx = Math.round(scaleX * 65536), sy = Math.round(scaleY * 65536);
        const n = signedBits(sx, sy);
        w.ub(1, 1).ub(5, n).sb(n, sx).sb(n, sy);
    } else {
        w.ub(1, 0);
    }
    w.ub(1, 0);
    const n = x === 0 && y === 0 ? 0 : signedBits(x, y);
    w.ub(5, n);
    if (n) w.sb(n, x).sb(n, y);
    w.align();
}

export function tag(code, body = Buffer.alloc(0), { long = false } = {}) {
    if (body.length < 63 && !long) {
        const header = Buffer.alloc(2);
        header.writeUInt16LE((code << 6) | body.length);
        return Buffer.concat([header, body]);
    }
    const header = Buffer.alloc(6);
    header.writeUInt16LE((code << 6) | 63);
    header.writeUInt32LE(body.length, 2);
    return Buffer.concat([header, body]);
}

export const action = {
    play: () => [0x06],
    stop: () => [0x07],
    gotoFrame: (frame) => [0x81, 2, 0, frame & 0xff, frame >>> 8],
};

export function setBackgroundColor([r, g, b]) {
    return tag(9, Buffer.from([r, g, b]));
}

// A rectangle (twips) filled with a solid colour, or with a clipped bitmap
// scaled to cover it (`bitmap`: { id, width, height } in pixels). Code 2 or 32
// (RGB or RGBA colours).
export function defineRectangle(id, { xMin, xMax, yMin, yMax }, { rgb, bitmap, code = 2 }) {
    const w = new BitWriter();
    w.u16(id);
    writeRect(w, { xMin, xMax, yMin, yMax });
    w.u8(1); // fill style count
    if (bitmap) {
        w.u8(0x41).u16(bitmap.id); // clipped bitmap
        writeMatrix(w, { x: xMin, y: yMin, scaleX: (xMax - xMin) / bitmap.width, scaleY: (yMax - yMin) / bitmap.height });
    } else {
        w.u8(0x00).u8(rgb[0]).u8(rgb[1]).u8(rgb[2]);
        if (code === 32) w.u8(0xff);
    }
    w.u8(0); // line style count
    w.ub(4, 1).ub(4, 0); // fill bits, line bits
    // Style change: move to the top-left corner, fill style 1 on the right.
    const m = signedBits(xMin, yMin);
    w.ub(1, 0).ub(1, 0).ub(1, 0).ub(1, 1).ub(1, 0).ub(1, 1).ub(5, m).sb(m, xMin).sb(m, yMin).ub(1, 1);
    const edge = (dx, dy) => {
        const n = signedBits(dx, dy);
        w.ub(1, 1).ub(1, 1).ub(4, Math.max(n, 2) - 2).ub(1, 0).ub(1, dx === 0 ? 1 : 0);
        w.sb(Math.max(n, 2), dx === 0 ? dy : dx);
    };
    edge(xMax - xMin, 0);
    edge(0, yMax - yMin);
    edge(xMin - xMax, 0);
    edge(0, yMin - yMax);
    w.ub(6, 0); // end of shape
    return tag(code, w.buffer());
}

export function placeObject2({ depth, id, x = 0, y = 0 }) {
    const w = new BitWriter();
    w.u8(0x06).u16(depth).u16(id); // has matrix, has character
    writeMatrix(w, { x, y });
    return tag(26, w.buffer());
}

export function doAction(actions) {
    return tag(12, Buffer.from([...actions.flat(), 0]));
}

// One button showing one character in its up, over and down states and
// another (or the same) as its hit area; `actions` run on a click
// (OverDownToOverUp).
export function defineButton2(id, { shapeId, hitId = shapeId, depth = 1, actions, conditions = 0x0008 }) {
    const w = new BitWriter();
    w.u16(id).u8(0);
    const records = new BitWriter();
    const record = (states, character) => {
        records.u8(states).u16(character).u16(depth);
        writeMatrix(records, {});
        records.ub(1, 0).ub(1, 0).ub(4, 0).align(); // colour transform with alpha: none
    };
    if (hitId === shapeId) {
        record(0x0f, shapeId);
    } else {
        record(0x07, shapeId);
        record(0x08, hitId);
    }
    records.u8(0); // end of records
    const recordBytes = records.buffer();
    w.u16(2 + recordBytes.length).raw(recordBytes);
    w.u16(0).u16(conditions).raw([...actions.flat(), 0]);
    return tag(34, w.buffer());
}

// A read-only text field without a font (the player's own font draws it),
// bordered, in a colour [r, g, b].
export function defineEditText(id, bounds, { text, rgb, variable = "" }) {
    const w = new BitWriter();
    w.u16(id);
    writeRect(w, bounds);
    w.u8(0x8c).u8(0x28); // has text, read only, has colour; has layout, border
    w.u8(rgb[0]).u8(rgb[1]).u8(rgb[2]).u8(255);
    w.u8(0).u16(0).u16(0).u16(0).u16(40); // align, margins, indent, leading
    w.raw(Buffer.from(variable + "\0", "latin1")).raw(Buffer.from(text + "\0", "latin1"));
    return tag(37, w.buffer());
}

export function defineBitsJpeg2(id, jpeg) {
    const head = Buffer.alloc(2);
    head.writeUInt16LE(id);
    return tag(21, Buffer.concat([head, jpeg]), { long: true });
}

// Sound format byte: format << 4 | rate code << 2 | 16-bit << 1 | stereo.
export function soundFormat({ format = 1, rateCode, sixteenBit = true, stereo = false }) {
    return (format << 4) | (rateCode << 2) | (sixteenBit ? 2 : 0) | (stereo ? 1 : 0);
}

export function defineSound(id, { sampleCount, data, ...format }) {
    const head = Buffer.alloc(7);
    head.writeUInt16LE(id);
    head[2] = soundFormat(format);
    head.writeUInt32LE(sampleCount, 3);
    return tag(14, Buffer.concat([head, data]), { long: true });
}

export function soundStreamHead({ samplesPerBlock, ...format }) {
    const body = Buffer.alloc(4);
    body[0] = soundFormat(format) & 0x0f; // playback: rate, size, type
    body[1] = soundFormat(format); // stream: format, rate, size, type
    body.writeUInt16LE(samplesPerBlock, 2);
    return tag(18, body);
}

export function soundStreamBlock(data) {
    return tag(19, data, { long: true });
}

// A whole movie: `frames` is a list of lists of tag buffers; a ShowFrame
// follows every frame and the End tag the last.
export function movie({ width, height, frameRate = 12, version = 4, frames }) {
    const w = new BitWriter();
    writeRect(w, { xMin: 0, xMax: width, yMin: 0, yMax: height });
    w.u8(Math.round((frameRate % 1) * 256)).u8(Math.floor(frameRate)).u16(frames.length);
    const parts = [w.buffer()];
    for (const frame of frames) parts.push(...frame, tag(1));
    parts.push(tag(0));
    const body = Buffer.concat(parts);
    const header = Buffer.alloc(8);
    header.write("FWS", 0, "latin1");
    header[3] = version;
    header.writeUInt32LE(8 + body.length, 4);
    return Buffer.concat([header, body]);
}
