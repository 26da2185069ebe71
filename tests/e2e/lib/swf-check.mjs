// Structural check of an SWF file with an independent reader (swf-parser),
// tag by tag, so that a tag body with bytes left over, or one that ends too
// early, is reported where a whole-file parse would silently skip it.

import { ReadableStream } from "@open-flash/stream";
import { parseSwf, swf } from "swf-parser";
import { parseHeader } from "swf-parser/parsers/header";
import * as p from "swf-parser/parsers/tags";

// Every tag SWF version 4 defines (none of them has a code above 48).
// DefineSprite (39), DefineMorphShape (46) and DefineFont2 (48) came with
// version 3, so a version 4 movie may hold them like any other.
export const SWF4_TAGS = new Map([
    [0, "End"], [1, "ShowFrame"], [2, "DefineShape"], [4, "PlaceObject"], [5, "RemoveObject"],
    [6, "DefineBits"], [7, "DefineButton"], [8, "JPEGTables"], [9, "SetBackgroundColor"],
    [10, "DefineFont"], [11, "DefineText"], [12, "DoAction"], [13, "DefineFontInfo"],
    [14, "DefineSound"], [15, "StartSound"], [17, "DefineButtonSound"], [18, "SoundStreamHead"],
    [19, "SoundStreamBlock"], [20, "DefineBitsLossless"], [21, "DefineBitsJPEG2"],
    [22, "DefineShape2"], [23, "DefineButtonCxform"], [24, "Protect"], [26, "PlaceObject2"],
    [28, "RemoveObject2"], [32, "DefineShape3"], [33, "DefineText2"], [34, "DefineButton2"],
    [35, "DefineBitsJPEG3"], [36, "DefineBitsLossless2"], [37, "DefineEditText"],
    [39, "DefineSprite"], [43, "FrameLabel"], [45, "SoundStreamHead2"], [46, "DefineMorphShape"],
    [48, "DefineFont2"],
]);

// Every action SWF version 4 defines, with the body length of those whose
// body has a fixed size.
export const SWF4_ACTIONS = new Map([
    [0x04, "NextFrame"], [0x05, "PreviousFrame"], [0x06, "Play"], [0x07, "Stop"],
    [0x08, "ToggleQuality"], [0x09, "StopSounds"], [0x0a, "Add"], [0x0b, "Subtract"],
    [0x0c, "Multiply"], [0x0d, "Divide"], [0x0e, "Equals"], [0x0f, "Less"], [0x10, "And"],
    [0x11, "Or"], [0x12, "Not"], [0x13, "StringEquals"], [0x14, "StringLength"],
    [0x15, "StringExtract"], [0x17, "Pop"], [0x18, "ToInteger"], [0x1c, "GetVariable"],
    [0x1d, "SetVariable"], [0x20, "SetTarget2"], [0x21, "StringAdd"], [0x22, "GetProperty"],
    [0x23, "SetProperty"], [0x24, "CloneSprite"], [0x25, "RemoveSprite"], [0x26, "Trace"],
    [0x27, "StartDrag"], [0x28, "EndDrag"], [0x29, "StringLess"], [0x30, "RandomNumber"],
    [0x31, "MBStringLength"], [0x32, "CharToAscii"], [0x33, "AsciiToChar"], [0x34, "GetTime"],
    [0x35, "MBStringExtract"], [0x36, "MBCharToAscii"], [0x37, "MBAsciiToChar"],
    [0x81, "GotoFrame"], [0x83, "GetURL"], [0x8a, "WaitForFrame"], [0x8b, "SetTarget"],
    [0x8c, "GoToLabel"], [0x8d, "WaitForFrame2"], [0x96, "Push"], [0x99, "Jump"],
    [0x9a, "GetURL2"], [0x9d, "If"], [0x9e, "Call"], [0x9f, "GotoFrame2"],
]);
const FIXED_ACTION_LENGTH = new Map([
    [0x81, 2], [0x8a, 3], [0x8d, 1], [0x99, 2], [0x9a, 1], [0x9d, 2], [0x9f, 1],
]);

// Control tags a sprite's own timeline may hold.
const SPRITE_TAGS = new Set([0, 1, 4, 5, 9, 12, 15, 18, 19, 26, 28, 43, 45]);

// The define tags, whose body starts with the character ID they define.
const DEFINE_TAGS = new Set([2, 6, 7, 10, 11, 14, 20, 21, 22, 32, 33, 34, 35, 36, 37, 39, 46, 48]);

const PARSERS = new Map([
    [2, p.parseDefineShape], [4, p.parsePlaceObject], [5, p.parseRemoveObject],
    [6, p.parseDefineBits], [7, p.parseDefineButton], [8, p.parseDefineJpegTables],
    [9, p.parseSetBackgroundColor], [10, p.parseDefineFont], [11, p.parseDefineText],
    [12, p.parseDoAction], [13, p.parseDefineFontInfo], [14, parseDefineSound],
    [15, p.parseStartSound], [17, p.parseDefineButtonSound], [18, p.parseSoundStreamHead],
    [19, p.parseSoundStreamBlock], [20, p.parseDefineBitsLossless], [21, p.parseDefineBitsJpeg2],
    [22, p.parseDefineShape2], [23, p.parseDefineButtonColorTransform], [24, p.parseProtect],
    [26, p.parsePlaceObject2], [28, p.parseRemoveObject2], [32, p.parseDefineShape3],
    [33, p.parseDefineText2], [34, p.parseDefineButton2], [35, p.parseDefineBitsJpeg3],
    [36, p.parseDefineBitsLossless2], [37, p.parseDefineEditText], [39, p.parseDefineSprite],
    [43, p.parseFrameLabel], [45, p.parseSoundStreamHead2], [46, p.parseDefineMorphShape],
    [48, p.parseDefineFont2],
]);

// swf-parser reads DefineSound only inside its whole-tag parser; its layout
// is simple enough to read here.
function parseDefineSound(stream) {
    const id = stream.readUint16LE();
    const flags = stream.readUint8();
    const sampleCount = stream.readUint32LE();
    const data = stream.tailBytes();
    return {
        id,
        format: flags >>> 4,
        rateCode: (flags >>> 2) & 3,
        sixteenBit: (flags & 2) !== 0,
        stereo: (flags & 1) !== 0,
        sampleCount,
        data,
    };
}

export function tagName(code) {
    return SWF4_TAGS.get(code) ?? `tag ${code}`;
}

function hex(value, digits = 2) {
    return "0x" + value.toString(16).toUpperCase().padStart(digits, "0");
}

// Reads the header by hand (signature, version, length, frame rectangle,
// rate, count) so that it can be compared with swf-parser's reading.
function readHeader(bytes, errors) {
    if (bytes.length < 8) {
        errors.push(`file of ${bytes.length} bytes is shorter than the 8-byte signature`);
        return undefined;
    }
    const signature = bytes.toString("latin1", 0, 3);
    const header = { signature, version: bytes[3], fileLength: bytes.readUInt32LE(4) };
    if (signature !== "FWS") {
        errors.push(`signature "${signature}" is not "FWS" (an uncompressed movie)`);
        return undefined;
    }
    const stream = new ReadableStream(bytes.subarray(8));
    try {
        const parsed = parseHeader(stream, header.version);
        const r = parsed.frameSize;
        header.frameSize = { xMin: r.xMin, xMax: r.xMax, yMin: r.yMin, yMax: r.yMax };
        header.frameRate = parsed.frameRate.epsilons / 256;
        header.frameCount = parsed.frameCount;
        header.length = 8 + stream.bytePos;
    } catch (e) {
        errors.push(`header ends before its frame rectangle, rate and count: ${e.message}`);
        return undefined;
    }
    return header;
}

// Walks action records, as a DoAction or a button condition holds them,
// ending with the ActionEnd byte. The context's `frameCount` bounds GotoFrame
// targets; its `errors` and `warnings` collect what is found.
export function checkActions(bytes, where, { frameCount, errors, warnings }, names = []) {
    let pos = 0;
    while (pos < bytes.length) {
        const at = pos;
        const code = bytes[pos++];
        if (code === 0) {
            if (pos !== bytes.length) errors.push(`${where}: ${bytes.length - pos} bytes after ActionEnd`);
            return names;
        }
        const name = SWF4_ACTIONS.get(code);
        names.push(name ?? hex(code));
        if (!name) errors.push(`${where}: action ${hex(code)} at ${at} is not an SWF 4 action`);
        if (code < 0x80) continue;
        if (pos + 2 > bytes.length) {
            errors.push(`${where}: action ${name ?? hex(code)} at ${at} is cut off in its length`);
            return names;
        }
        const length = bytes.readUInt16LE(pos);
        pos += 2;
        if (pos + length > bytes.length) {
            errors.push(`${where}: action ${name ?? hex(code)} at ${at} needs ${pos + length - bytes.length} bytes more than there are`);
            return names;
        }
        const body = bytes.subarray(pos, pos + length);
        pos += length;
        const fixed = FIXED_ACTION_LENGTH.get(code);
        if (fixed !== undefined && length !== fixed) {
            errors.push(`${where}: ${name} at ${at} has a body of ${length} bytes, not ${fixed}`);
        } else if (code === 0x81 && frameCount !== undefined && body.readUInt16LE(0) >= frameCount) {
            warnings.push(`${where}: GotoFrame ${body.readUInt16LE(0)} is beyond the movie's ${frameCount} frames`);
        } else if (code === 0x83 || code === 0x8b || code === 0x8c) {
            const strings = code === 0x83 ? 2 : 1;
            const zeros = [...body].filter((b) => b === 0).length;
            if (zeros !== strings || body[body.length - 1] !== 0) {
                errors.push(`${where}: ${name} at ${at} does not hold exactly ${strings} zero-terminated string(s)`);
            }
        } else if (code === 0x96) {
            checkPush(body, `${where}: Push at ${at}`, errors);
        }
    }
    errors.push(`${where}: actions end without ActionEnd (00)`);
    return names;
}

// SWF 4 pushes strings (type 0) and 32-bit floats (type 1) only.
function checkPush(body, where, errors) {
    let pos = 0;
    while (pos < body.length) {
        const type = body[pos++];
        if (type === 0) {
            const end = body.indexOf(0, pos);
            if (end < 0) return errors.push(`${where}: string without its terminating zero`);
            pos = end + 1;
        } else if (type === 1) {
            if (pos + 4 > body.length) return errors.push(`${where}: float cut off`);
            pos += 4;
        } else {
            return errors.push(`${where}: value type ${type} is not SWF 4`);
        }
    }
    if (body.length === 0) errors.push(`${where}: pushes nothing`);
}

// Every bitmap a shape's fill styles refer to (65535 means none).
function bitmapReferences(value, found = []) {
    if (Array.isArray(value)) {
        for (const v of value) bitmapReferences(v, found);
    } else if (value && typeof value === "object" && !(value instanceof Uint8Array)) {
        for (const [key, v] of Object.entries(value)) {
            if (key === "bitmapId" && v !== 0xffff) found.push(v);
            else bitmapReferences(v, found);
        }
    }
    return found;
}

// The fields of a DefineBitsJPEG2 (ID, data to the end) or DefineBitsJPEG3
// (ID, data length, data, alpha to the end), when the body holds them.
function jpegFields(code, body) {
    if (code === 21 && body.length >= 2) return { id: body.readUInt16LE(0), data: body.subarray(2) };
    if (code !== 35 || body.length < 6) return undefined;
    const length = body.readUInt32LE(2);
    if (6 + length > body.length) return undefined;
    return { id: body.readUInt16LE(0), data: body.subarray(6, 6 + length), alpha: body.subarray(6 + length) };
}

// Reads the tags of `bytes` from `start` until the End tag. `context` holds
// what spans tags: the defined character IDs, the expected version, the
// movie's frame count (for GotoFrame) and the list of errors.
function readTags(bytes, start, context, where) {
    const { errors } = context;
    const tags = [];
    let pos = start;
    let showFrames = 0;
    let ended = false;
    while (pos < bytes.length) {
        const offset = pos;
        if (pos + 2 > bytes.length) {
            errors.push(`${where}: tag header at ${offset} is cut off`);
            pos = bytes.length;
            break;
        }
        const word = bytes.readUInt16LE(pos);
        pos += 2;
        const code = word >>> 6;
        let length = word & 63;
        if (length === 63) {
            if (pos + 4 > bytes.length) {
                errors.push(`${where}: long tag header at ${offset} is cut off`);
                pos = bytes.length;
                break;
            }
            length = bytes.readUInt32LE(pos);
            pos += 4;
        }
        const name = tagName(code);
        const label = `${where}${name} at ${offset}`;
        const tag = { code, name, offset, headerLength: pos - offset, length };
        tags.push(tag);
        if (pos + length > bytes.length) {
            errors.push(`${label}: body of ${length} bytes is missing ${pos + length - bytes.length} bytes`);
            pos = bytes.length;
            break;
        }
        const body = bytes.subarray(pos, pos + length);
        pos += length;
        if (!SWF4_TAGS.has(code)) errors.push(`${label}: tag code ${code} is not an SWF 4 tag`);
        if (context.inSprite && !SPRITE_TAGS.has(code)) errors.push(`${label}: not allowed in a sprite`);
        if (code === 0) {
            if (length !== 0) errors.push(`${label}: End tag with a body of ${length} bytes`);
            ended = true;
            break;
        }
        if (code === 1) {
            ++showFrames;
            if (length !== 0) errors.push(`${label}: ShowFrame with a body of ${length} bytes`);
            continue;
        }
        if (DEFINE_TAGS.has(code) && length >= 2) {
            tag.id = body.readUInt16LE(0);
            if (tag.id === 0) context.warnings.push(`${label}: character ID 0`);
            if (context.defined.has(tag.id)) context.warnings.push(`${label}: character ${tag.id} is defined twice`);
            context.defined.add(tag.id);
        }
        // JPEG bitmaps are read here, and by swf-parser in the whole-file
        // parse below: its search for the JPEG's markers takes time that
        // grows with the square of the image's bytes, so once is enough.
        if (code === 21 || code === 35) {
            tag.parsed = jpegFields(code, body);
            if (!tag.parsed) errors.push(`${label}: the body (${length} bytes) holds no JPEG fields`);
            else checkTag(tag, body, context, label);
            continue;
        }
        const parser = PARSERS.get(code);
        if (!parser) continue;
        const stream = new ReadableStream(body);
        try {
            tag.parsed = parser(stream, context.version);
        } catch (e) {
            errors.push(`${label}: swf-parser cannot read the body (${length} bytes): ${e.message}`);
            continue;
        }
        // The sprite parser reads the nested tags itself; they are checked below.
        // swf-parser's bit reader reads zeros past the end of a body instead of
        // failing, which leaves the count of available bytes negative.
        const left = stream.available();
        if (code !== 39 && left > 0) errors.push(`${label}: ${left} of ${length} bytes left unread by swf-parser`);
        if (left < 0) errors.push(`${label}: body of ${length} bytes ends ${-left} bytes before swf-parser's reading of it`);
        checkTag(tag, body, context, label);
    }
    if (!ended) errors.push(`${where}no End tag`);
    else if (pos !== bytes.length) errors.push(`${where}${bytes.length - pos} bytes after the End tag`);
    return { tags, showFrames };
}

function checkTag(tag, body, context, label) {
    const { errors, warnings, defined } = context;
    const { code, parsed } = tag;
    const needs = (id, what) => {
        if (!defined.has(id)) warnings.push(`${label}: ${what} character ${id}, which is not defined before`);
    };
    switch (code) {
    case 2: case 22: case 32: case 46:
        for (const id of bitmapReferences(parsed)) needs(id, "fills with bitmap");
        break;
    case 4:
        needs(parsed.characterId, "places");
        break;
    case 26:
        if (parsed.characterId !== undefined) needs(parsed.characterId, "places");
        if (parsed.clipActions !== undefined) errors.push(`${label}: clip actions are not SWF 4`);
        break;
    case 7: case 34:
        for (const record of parsed.records) needs(record.characterId, "button record shows");
        parsed.actions.forEach((condition, i) => {
            tag.actions = checkActions(Buffer.from(condition.actions), `${label} condition ${i}`, context, tag.actions);
        });
        break;
    case 12:
        tag.actions = checkActions(Buffer.from(parsed.actions), label, context);
        break;
    case 6: case 21: case 35: {
        const data = parsed.data;
        const end = data.length >= 2 && data[data.length - 2] === 0xff && data[data.length - 1] === 0xd9;
        if (!end) errors.push(`${label}: JPEG data does not end with the end-of-image marker`);
        break;
    }
    case 39: {
        const nested = readTags(body, 4, { ...context, inSprite: true }, `${label} > `);
        tag.tags = nested.tags;
        if (nested.showFrames !== parsed.frameCount) {
            errors.push(`${label}: frame count ${parsed.frameCount} but ${nested.showFrames} ShowFrame tags`);
        }
        break;
    }
    }
}

// Checks one file's bytes; returns the header, the tags (with swf-parser's
// reading of each body), the errors (the file does not read as an SWF 4
// movie) and the warnings (it reads, but refers to what is not there: an
// undefined character, an ID defined twice, a GotoFrame past the last frame;
// unit tests may write such movies on purpose).
export function checkSwf(bytes, { version = 4 } = {}) {
    bytes = Buffer.from(bytes.buffer ? bytes : Buffer.from(bytes));
    const errors = [];
    const warnings = [];
    const header = readHeader(bytes, errors);
    if (!header) return { header, tags: [], errors, warnings };
    if (header.version !== version) errors.push(`version ${header.version}, expected ${version}`);
    if (header.fileLength !== bytes.length) {
        errors.push(`header says ${header.fileLength} bytes, the file has ${bytes.length}`);
    }
    const context = { errors, warnings, defined: new Set(), version: header.version, frameCount: header.frameCount };
    const { tags, showFrames } = readTags(bytes, header.length, context, "");
    if (showFrames !== header.frameCount) {
        errors.push(`header says ${header.frameCount} frames, the file has ${showFrames} ShowFrame tags`);
    }
    // The whole-file parse must agree: same tag count, no body it gave up on.
    try {
        const movie = parseSwf(bytes);
        const ours = tags.filter((t) => t.code !== 0).length;
        if (movie.tags.length !== ours) errors.push(`swf-parser reads ${movie.tags.length} tags, the walk ${ours}`);
        // Bodies it gave up on were reported tag by tag already, but for the
        // JPEG bitmaps': those whose fields read (their tag is sound) hold no
        // image it can size, which unit tests' stand-in images do on purpose.
        const walked = tags.filter((t) => t.code !== 0);
        movie.tags.forEach((t, i) => {
            if (errors.length > 0 || (t.type !== swf.TagType.Raw && t.type !== swf.TagType.RawBody)) return;
            if (t.code === 21 || t.code === 35) {
                warnings.push(`${tagName(t.code)} at ${walked[i].offset}: swf-parser finds no image in its JPEG data`);
            } else {
                errors.push(`swf-parser gives up on the body of ${tagName(t.code)} (${t.data.length} bytes)`);
            }
        });
    } catch (e) {
        errors.push(`swf-parser cannot read the file: ${e.message}`);
    }
    return { header, tags, showFrames, errors, warnings };
}

// Fails with every finding listed unless the check found nothing;
// `warnings: false` lets warnings pass.
export function assertClean(result, { warnings = true } = {}) {
    const found = [...result.errors, ...(warnings ? result.warnings : [])];
    if (found.length) throw new Error(`the SWF check found ${found.length} fault(s):\n  ${found.join("\n  ")}`);
}

// All tags of one code, nested sprites included.
export function tagsOf(result, code) {
    const found = [];
    const visit = (tags) => {
        for (const t of tags) {
            if (t.code === code) found.push(t);
            if (t.tags) visit(t.tags);
        }
    };
    visit(result.tags);
    return found;
}
