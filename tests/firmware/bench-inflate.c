// A boot loader's work with the cache on: it turns the cache and the write
// buffer on, checks the CRC-32 of a compressed image (about 1 MB of raw
// DEFLATE, linked in by bench-inflate.S), inflates it into the SDRAM (about
// 2 MB), checks the CRC-32 of what it got, says whether both matched on
// UART0 and stops at `bench_end` (bench-inflate.S), which bench-core runs to.
//
// The inflater reads stored, fixed Huffman and dynamic Huffman blocks: a
// Huffman code is decoded through a table of its codes of up to 9 bits,
// and longer codes bit by bit from the counts of codes of each length.
//
// bench-core also runs this program on bare Unicorn, with the SFRs as plain
// memory: nothing here waits on a register. The message goes into UART0's
// transmit FIFO (16 bytes) without polling.
#include "common.h"
#include "bench-inflate-data.h"

#define SYSCFG REG(0x01C00000)
#define NCACHBE0 REG(0x01C00004)
#define NCACHBE1 REG(0x01C00008)
#define UFCON0 REG(0x01D00008)
#define CACHE_TAGS ((volatile unsigned *)0x10002000)  // tags and LRU bits to 0x100047FF

extern const unsigned char deflated[], deflated_end[];
void bench_end(void) __attribute__((noreturn));  // a branch to itself
static unsigned char inflated[INFLATED_SIZE + 16];

// CRC-32 (the reflected polynomial 0xEDB88320, as zlib's).
static unsigned crc_table[256];

static void crc_init(void) {
  for (unsigned n = 0; n < 256; ++n) {
    unsigned c = n;
    for (int k = 0; k < 8; ++k) c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    crc_table[n] = c;
  }
}

static unsigned crc32(const unsigned char *p, unsigned n) {
  unsigned c = 0xFFFFFFFFu;
  while (n--) c = crc_table[(c ^ *p++) & 0xFF] ^ (c >> 8);
  return ~c;
}

// A Huffman code: `fast` maps the next FAST_BITS input bits to symbol << 4 |
// length for codes of up to FAST_BITS bits (0: a longer code); `count` and
// `symbol` (by length, then by value) decode the others.
#define FAST_BITS 9
#define MAX_BITS 15
struct huffman {
  unsigned short fast[1 << FAST_BITS];
  unsigned short count[MAX_BITS + 1];
  unsigned short symbol[288];
};

// From the code lengths of symbols 0..n-1 (0: no code). A code may be
// incomplete (a single distance code), not over-full.
static int build(struct huffman *h, const unsigned char *length, int n) {
  unsigned short offset[MAX_BITS + 2];
  for (int l = 0; l <= MAX_BITS; ++l) h->count[l] = 0;
  for (int s = 0; s < n; ++s) h->count[length[s]]++;
  h->count[0] = 0;
  int left = 1;
  for (int l = 1; l <= MAX_BITS; ++l) {
    left = 2 * left - h->count[l];
    if (left < 0) return -1;
  }
  offset[1] = 0;
  for (int l = 1; l <= MAX_BITS; ++l) offset[l + 1] = offset[l] + h->count[l];
  for (int s = 0; s < n; ++s)
    if (length[s]) h->symbol[offset[length[s]]++] = (unsigned short)s;
  for (int i = 0; i < 1 << FAST_BITS; ++i) h->fast[i] = 0;
  // Canonical codes: consecutive values within a length, in symbol order,
  // each length's first one the last one's successor, shifted. The input
  // holds a code's first bit (its most significant) first.
  unsigned code = 0;
  int k = 0;
  for (int l = 1; l <= FAST_BITS; ++l, code <<= 1) {
    for (int i = 0; i < h->count[l]; ++i, ++code, ++k) {
      unsigned reversed = 0;
      for (int b = 0; b < l; ++b) reversed |= ((code >> b) & 1) << (l - 1 - b);
      for (unsigned j = reversed; j < 1 << FAST_BITS; j += 1u << l)
        h->fast[j] = (unsigned short)(h->symbol[k] << 4 | l);
    }
  }
  return 0;
}

// The input, least significant bit first: `bits` holds `count` bits not yet
// used. Past the end it reads zeros, and `in` runs on (the caller checks).
struct input {
  const unsigned char *in, *end;
  unsigned bits;
  unsigned count;
};

static inline void refill(struct input *s) {
  while (s->count <= 24) {
    s->bits |= (unsigned)(s->in < s->end ? *s->in : 0) << s->count;
    s->in++;
    s->count += 8;
  }
}

// Up to 24 bits after a refill.
static inline unsigned take(struct input *s, unsigned n) {
  unsigned v = s->bits & ((1u << n) - 1);
  s->bits >>= n;
  s->count -= n;
  return v;
}

// The next symbol (at least MAX_BITS bits in the buffer), or -1.
static inline int decode(struct input *s, const struct huffman *h) {
  unsigned e = h->fast[s->bits & ((1u << FAST_BITS) - 1)];
  if (e) {
    take(s, e & 15);
    return (int)(e >> 4);
  }
  int code = 0, first = 0, index = 0;
  for (int l = 1; l <= MAX_BITS; ++l) {
    code |= (int)take(s, 1);
    int c = h->count[l];
    if (code - first < c) return h->symbol[index + code - first];
    index += c;
    first = (first + c) << 1;
    code <<= 1;
  }
  return -1;
}

static const unsigned short length_base[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                               31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
static const unsigned char length_extra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                               2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
static const unsigned short distance_base[30] = {1,    2,    3,    4,    5,    7,     9,     13,    17,  25,
                                                 33,   49,   65,   97,   129,  193,   257,   385,   513, 769,
                                                 1025, 1537, 2049, 3073, 4097, 6145,  8193,  12289, 16385, 24577};
static const unsigned char distance_extra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                                 6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
// The order in which a dynamic block gives the code length code's lengths.
static const unsigned char length_order[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

static struct huffman literals, distances;

// A Huffman block's symbols up to its end code.
static int codes(struct input *s, unsigned char **out_at, unsigned char *out_end, const unsigned char *out_start) {
  unsigned char *out = *out_at;
  for (;;) {
    refill(s);
    int sym = decode(s, &literals);
    if (sym < 256) {
      if (sym < 0 || out == out_end) return -1;
      *out++ = (unsigned char)sym;
      continue;
    }
    if (sym == 256) break;
    sym -= 257;
    if (sym >= 29) return -1;
    unsigned length = length_base[sym] + take(s, length_extra[sym]);
    refill(s);
    int d = decode(s, &distances);
    if (d < 0 || d >= 30) return -1;
    refill(s);
    unsigned distance = distance_base[d] + take(s, distance_extra[d]);
    if (distance > (unsigned)(out - out_start) || length > (unsigned)(out_end - out)) return -1;
    const unsigned char *from = out - distance;
    while (length--) *out++ = *from++;
  }
  *out_at = out;
  return 0;
}

static int fixed_codes(void) {
  unsigned char length[288];
  int s = 0;
  for (; s < 144; ++s) length[s] = 8;
  for (; s < 256; ++s) length[s] = 9;
  for (; s < 280; ++s) length[s] = 7;
  for (; s < 288; ++s) length[s] = 8;
  if (build(&literals, length, 288)) return -1;
  for (s = 0; s < 30; ++s) length[s] = 5;
  return build(&distances, length, 30);
}

static int dynamic_codes(struct input *s) {
  unsigned char length[286 + 30];
  refill(s);
  int nlen = (int)take(s, 5) + 257, ndist = (int)take(s, 5) + 1, ncode = (int)take(s, 4) + 4;
  if (nlen > 286 || ndist > 30) return -1;
  for (int i = 0; i < 19; ++i) length[length_order[i]] = 0;
  for (int i = 0; i < ncode; ++i) {
    refill(s);
    length[length_order[i]] = (unsigned char)take(s, 3);
  }
  if (build(&literals, length, 19)) return -1;  // the code length code, for now
  for (int i = 0; i < nlen + ndist;) {
    refill(s);
    int sym = decode(s, &literals);
    if (sym < 0) return -1;
    if (sym < 16) {
      length[i++] = (unsigned char)sym;
      continue;
    }
    unsigned char value = 0;
    int repeat;
    if (sym == 16) {
      if (i == 0) return -1;
      value = length[i - 1];
      repeat = 3 + (int)take(s, 2);
    } else if (sym == 17) {
      repeat = 3 + (int)take(s, 3);
    } else {
      repeat = 11 + (int)take(s, 7);
    }
    if (i + repeat > nlen + ndist) return -1;
    while (repeat--) length[i++] = value;
  }
  if (!length[256]) return -1;  // no end code
  if (build(&literals, length, nlen)) return -1;
  return build(&distances, length + nlen, ndist);
}

// The stream's bytes inflated into out[0..capacity); their count, or -1.
static int inflate(unsigned char *out, unsigned capacity, const unsigned char *in, unsigned size) {
  struct input s = {in, in + size, 0, 0};
  unsigned char *at = out, *end = out + capacity;
  int last;
  do {
    refill(&s);
    last = (int)take(&s, 1);
    unsigned type = take(&s, 2);
    if (type == 0) {
      // Stored: from the next byte boundary, LEN and its complement, then
      // LEN bytes. The bytes still in the buffer go back to the input.
      take(&s, s.count & 7);
      s.in -= s.count / 8;
      s.bits = s.count = 0;
      if (s.end - s.in < 4) return -1;
      unsigned len = s.in[0] | s.in[1] << 8, nlen = s.in[2] | s.in[3] << 8;
      s.in += 4;
      if ((len ^ nlen) != 0xFFFF || len > (unsigned)(s.end - s.in) || len > (unsigned)(end - at)) return -1;
      while (len--) *at++ = *s.in++;
    } else if (type == 1) {
      if (fixed_codes() || codes(&s, &at, end, out)) return -1;
    } else if (type == 2) {
      if (dynamic_codes(&s) || codes(&s, &at, end, out)) return -1;
    } else {
      return -1;
    }
  } while (!last);
  // Whole bytes left in the buffer were read ahead, not used.
  if (s.in - s.count / 8 > s.end) return -1;
  return (int)(at - out);
}

static void say(const char *text) {
  UFCON0 = 0x7;  // FIFOs on, both emptied: up to 16 bytes go in at once
  while (*text) UTXH0 = (unsigned char)*text++;
}

int main(void) {
  WTCON = 0;
  // As a boot loader sets the cache up: every line invalid, the external
  // banks (the 7-segment latch, the keypad) non-cacheable, then the 8 KB
  // cache and the write buffer on.
  for (int i = 0; i < 0x2800 / 4; ++i) CACHE_TAGS[i] = 0;
  NCACHBE0 = 0xC000u << 16 | 0x2000u;  // 0x02000000..0x0BFFFFFF
  NCACHBE1 = 0;
  SYSCFG = 0xE;

  crc_init();
  // "inflate ok", or what went wrong: 1 the input's size or CRC, 2 an error
  // in the stream, 3 the output's length, 4 its CRC.
  const unsigned size = (unsigned)(deflated_end - deflated);
  const char *result = "inflate ok\r\n";
  if (size != DEFLATED_SIZE || crc32(deflated, size) != DEFLATED_CRC32) {
    result = "inflate BAD 1\r\n";
  } else {
    int n = inflate(inflated, sizeof inflated, deflated, size);
    if (n < 0) result = "inflate BAD 2\r\n";
    else if (n != (int)INFLATED_SIZE) result = "inflate BAD 3\r\n";
    else if (crc32(inflated, (unsigned)n) != INFLATED_CRC32) result = "inflate BAD 4\r\n";
  }
  say(result);
  INTMSK = ~0u;  // everything masked: bench_end is the program's end
  bench_end();
}
