// Checks a converted deck: the header's length is the file's, there are
// slide count + 2 frames (header and ShowFrame tags agree), and the bitmap
// tags hold every slide's bytes, in order, between the table markers the
// converter puts around them. Prints a short verdict; exits 1 on a fault.
//
//   node bench/check-deck.mjs movie.swf slide-prefix slide-count
import { readFileSync } from "node:fs";

const [file, prefix, countText] = process.argv.slice(2);
const slides = Number(countText);
const swf = readFileSync(file);
const fail = (why) => {
  console.log(`FAILED: ${why}`);
  process.exit(1);
};

if (swf.toString("latin1", 0, 3) !== "FWS") fail("not an uncompressed SWF");
if (swf.readUInt32LE(4) !== swf.length) fail(`header length ${swf.readUInt32LE(4)}, file ${swf.length}`);
const rectBits = swf[8] >> 3;
let at = 8 + Math.ceil((5 + 4 * rectBits) / 8);
const headerFrames = swf.readUInt16LE(at + 2);
at += 4;

const tablePrefix = Buffer.from([0xff, 0xd9, 0xff, 0xd8]);
const endOfImage = Buffer.from([0xff, 0xd9]);
let showFrames = 0;
let next = 1; // the slide expected in the next bitmap tag that is not a button
let ended = false;
while (at < swf.length) {
  const head = swf.readUInt16LE(at);
  const code = head >> 6;
  let length = head & 63;
  at += 2;
  if (length === 63) {
    length = swf.readUInt32LE(at);
    at += 4;
  }
  if (at + length > swf.length) fail(`tag ${code} runs past the end`);
  const body = swf.subarray(at, at + length);
  at += length;
  if (code === 0) {
    ended = true;
    break;
  }
  if (code === 1) ++showFrames;
  if (code !== 21 || next > slides) continue;
  if (!body.subarray(2, 6).equals(tablePrefix) || !body.subarray(body.length - 2).equals(endOfImage))
    fail(`bitmap tag without its table markers`);
  const slide = readFileSync(`${prefix}${next}.jpg`);
  if (body.subarray(6, body.length - 2).equals(slide)) ++next;
}
if (!ended || at !== swf.length) fail("no End tag at the end of the file");
if (headerFrames !== slides + 2) fail(`header frame count ${headerFrames}, expected ${slides + 2}`);
if (showFrames !== slides + 2) fail(`${showFrames} ShowFrame tags, expected ${slides + 2}`);
if (next !== slides + 1) fail(`slide ${next} not found in order`);
console.log(`ok: ${slides + 2} frames, ${slides} slides in order`);
