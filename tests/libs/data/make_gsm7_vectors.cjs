// Produces gsm7_vectors.txt: GSM 7-bit message data (with and without a user data header) and the
// text that two independent decoders from the npm registry give for it. Run once, offline:
//   npm install node-pdu@2.1.1 gsm7@1.3.1 && node make_gsm7_vectors.cjs > gsm7_vectors.txt
// The file it wrote is kept; the tests never run this script.
// node-pdu's alphabet holds '`' at 0x5F where the default alphabet has '§', so the whole table is
// checked with the gsm7 package instead; everything with fill bits goes through node-pdu.
'use strict';
const { parse, utils } = require('node-pdu');
const gsm7 = require('gsm7');
const { Helper } = utils;

const hex = (s) => Buffer.from(s, 'utf8').toString('hex').toUpperCase();
const lines = [];

function fillBits(udhHex) {
    if (!udhHex) return 0;
    const octets = udhHex.length / 2;
    return (7 - ((octets * 8) % 7)) % 7;
}

// Packs the text with node-pdu, wraps it in a whole SMS-DELIVER PDU and lets node-pdu's parser
// decode that PDU, which knows the septet count from the user data length.
function viaPdu(note, text, udhHex = '') {
    const fill = fillBits(udhHex);
    const packed = Helper.encode7Bit(text, fill);
    const udl = udhHex ? Math.ceil((udhHex.length / 2) * 8 / 7) + (packed.length - (fill ? 1 : 0))
                       : packed.length;
    const type = udhHex ? '44' : '04';
    const pdu = '00' + type + '0B919471563412F0' + '0000' + '21101231000000' +
        Helper.toStringHex(udl) + udhHex + packed.result;
    const out = parse(pdu);
    const decoded = out.data.getText();
    if (decoded !== text) {
        throw new Error(`${note}: node-pdu gave ${JSON.stringify(decoded)}`);
    }
    lines.push(`# ${note}`);
    lines.push(`${udhHex || '-'}\t${packed.result}\t${hex(decoded)}`);
}

// Packs raw septets (no fill bits) and decodes them with the gsm7 package.
function viaGsm7(note, septets) {
    let acc = 0, bits = 0, out = '';
    for (const s of septets) {
        acc |= s << bits;
        bits += 7;
        while (bits >= 8) {
            out += Helper.toStringHex(acc & 0xff);
            acc >>= 8;
            bits -= 8;
        }
    }
    if (bits > 0) out += Helper.toStringHex(acc & 0xff);
    const decoded = gsm7.decode(Buffer.from(out, 'hex'));
    lines.push(`# ${note}`);
    lines.push(`-\t${out}\t${hex(decoded)}`);
}

lines.push('# GSM 7-bit vectors: user data header (hex, "-" for none), packed data (hex),');
lines.push('# expected text (hex of its UTF-8 bytes). Produced by make_gsm7_vectors.cjs.');

viaPdu('a single "@" (septet 0)', '@');
viaPdu('"@" at the start, inside and before the end', '@Hi@there@!');
viaPdu('euro sign alone', '€');
viaPdu('ending in "@"', 'to@');
viaPdu('euro sign in text', 'Price: 5€ only');
viaPdu('brackets, braces, backslash, tilde, caret, bar', '[x]{y}\\~^|');
viaPdu('every extension character in a row', '^{}\\[~]|€');
viaPdu('Greek capitals and accented letters', 'ΔΦΓΛΩΠΨΣΘΞ ÄÖÑÜäöñüà èéùìòÇØøÅåÆæßÉ¡¿£¥¤');
viaPdu('line breaks', 'Line 1\nLine 2\r\nEnd');
for (let n = 1; n <= 9; n++) {
    viaPdu(`odd length ${n}`, 'abcdefghi'.slice(0, n));
}
viaPdu('16 characters (two whole groups)', 'ABCDEFGHIJKLMNOP');
viaPdu('concatenation header, 8-bit reference (1 fill bit)', 'Part one of a longer text', '050003A40201');
viaPdu('concatenation header, extension character first', '€{} end', '050003A40202');
viaPdu('concatenation header, 16-bit reference (no fill bits)', 'Second part, ref 7428', '06080474280201');
viaPdu('header with port numbers (2 fill bits)', 'Ports [1]', '0B05040B8423F00003A40201');
viaPdu('concatenation header, odd length 7', 'abcdefg', '050003A40201');

const first = [];
for (let s = 0; s < 64; s++) first.push(s === 27 ? 32 : s);
viaGsm7('default alphabet 0x00-0x3F (0x1B as a blank)', first);
const second = [];
for (let s = 64; s < 128; s++) second.push(s);
viaGsm7('default alphabet 0x40-0x7F', second);

process.stdout.write(lines.join('\n') + '\n');
