// A picture of what the player shows once it holds still, for measuring
// pages: two captures alike, not one flat colour, and (after a step) not the
// picture before. Past `timeout` ms it is taken as it is: the figures then
// show what went wrong.

import { samePixels } from "./imagecompare.mjs";
import { pause } from "./show.mjs";

const uniform = ({ pixels }) => pixels.every((v, i) => v === pixels[i & 3]);

export async function settledCapture(movie, { area, previous, timeout = 20000 }) {
    const deadline = Date.now() + timeout;
    let last = await movie.capture(area);
    for (;;) {
        await pause(300);
        const shot = await movie.capture(area);
        if (samePixels(shot, last) && !uniform(shot) && !(previous && samePixels(shot, previous))) return shot;
        if (Date.now() > deadline) return shot;
        last = shot;
    }
}
