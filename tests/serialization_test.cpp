#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "serialization/base64.h"
#include "serialization/byte_buffer.h"
#include "serialization/compress_message.h"
#include "serialization/content_reader.h"
#include "serialization/content_writer.h"
#include "serialization/data.h"
#include "serialization/message_decompressor.h"
#include "serialization/scrambler.h"

namespace {

std::string bytes(std::initializer_list<int> values) {
    std::string s;
    for (int v : values) s.push_back(static_cast<char>(v));
    return s;
}

std::string decode(const std::string& message, uint64_t max_size = 0) {
    return decompress_message(reinterpret_cast<const uint8_t*>(message.data()), message.size(), max_size);
}

// Feeds pieces of `piece` bytes until the message completes.
std::string decode_in_pieces(const std::string& message, size_t piece, std::string* rest = nullptr) {
    MessageDecompressor d;
    std::string tail;
    const auto* p = reinterpret_cast<const uint8_t*>(message.data());
    bool done = false;
    for (size_t i = 0; i < message.size() && !done; i += piece)
        done = d.feed(p + i, p + std::min(i + piece, message.size()), tail);
    EXPECT_TRUE(done);
    if (rest) *rest = tail;
    return d.output();
}

std::string decode_bytewise(const std::string& message) { return decode_in_pieces(message, 1); }

// A corpus with repeats at many distances, runs and noise.
std::string sample_text(uint32_t seed, size_t size) {
    std::mt19937 rng(seed);
    std::string words[] = {"uniform ", "vec3 ", "float ", "texture(", "gl_FragColor", "beat", "\n", "  ", "0.5",
                           "{\"name\": "};
    std::string s;
    while (s.size() < size) {
        const uint32_t r = rng() % 10;
        if (r < 7) s += words[rng() % 10];
        else if (r < 9) s.push_back(static_cast<char>(rng()));
        else s.append(rng() % 300, static_cast<char>('a' + rng() % 3));
    }
    s.resize(size);
    return s;
}

// The encoder as plainly as it can be written: a table cleared per message,
// every candidate measured byte by byte. The real one must give its bytes.
std::string reference_compress(const std::string& in) {
    auto varint = [](std::string& out, uint64_t v) {
        while (v >= 0x80) {
            out.push_back(static_cast<char>((v & 0x7F) | 0x80));
            v >>= 7;
        }
        out.push_back(static_cast<char>(v));
    };
    auto size_of = [](uint64_t v) { return v <= 127 ? 1 : v <= 16383 ? 2 : v <= 2097151 ? 3 : 4; };
    const auto* x = reinterpret_cast<const uint8_t*>(in.data());
    const size_t n = in.size();
    std::vector<uint64_t> table(4096 * 13, 0);  // 12 positions + next index per bucket
    std::string out, literals;
    varint(out, n);
    auto flush = [&] {
        if (literals.empty()) return;
        varint(out, 2 * literals.size() + 1);
        out += literals;
        literals.clear();
    };
    size_t p = 0;
    while (p < n) {
        if (p + 5 > n) {
            literals.push_back(in[p++]);
            continue;
        }
        uint32_t h = 2166136261u;
        for (int i = 0; i < 5; ++i) h = (h ^ x[p + i]) * 16777619u;
        uint64_t* bucket = &table[(h % 4096) * 13];
        uint64_t& next = bucket[12];
        size_t best_length = 0, best_distance = 0, best_saving = 0;
        for (int k = 0; k < 12; ++k) {
            const uint64_t slot = bucket[(next + 12 - 1 - k) % 12];
            if (slot == 0) break;
            const size_t q = slot - 1;
            size_t m = 0;
            if (x[q] == x[p]) {
                m = 1;
                while (q + m < n && p + m < n && x[q + m] == x[p + m]) ++m;
            }
            const size_t d = p - q;
            size_t cost = size_of(d * 16);
            if (m >= 8) cost += size_of(m - 4);
            const size_t saving = cost <= m ? m - cost : 0;
            if (saving > best_saving) {
                best_saving = saving;
                best_length = m;
                best_distance = d;
            }
        }
        bucket[next] = p + 1;
        next = (next + 1) % 12;
        if (best_length < 5) {
            literals.push_back(in[p++]);
            continue;
        }
        flush();
        const uint64_t hl = best_length - 4;
        if (hl < 8) {
            varint(out, (best_distance * 16) | (hl * 2));
        } else {
            varint(out, best_distance * 16);
            varint(out, hl);
        }
        p += best_length;
    }
    flush();
    return out;
}

// The decoder as plainly as it can be written, for well-formed messages that
// may be cut short anywhere: byte by byte, stopping where the input ends.
std::string reference_decode(const std::string& message) {
    size_t at = 0;
    bool cut = false;
    auto varint = [&]() -> uint64_t {
        uint64_t v = 0;
        for (int shift = 0; at < message.size(); shift += 7) {
            const uint8_t b = static_cast<uint8_t>(message[at++]);
            v |= static_cast<uint64_t>(b & 0x7F) << shift;
            if (!(b & 0x80)) return v;
        }
        cut = true;
        return 0;
    };
    const uint64_t size = varint();
    std::string out(size, '\0');
    uint64_t pos = 0;
    while (pos < size && !cut && at < message.size()) {
        const uint64_t tag = varint();
        if (cut) break;
        if (tag & 1) {
            for (uint64_t n = tag >> 1; n > 0 && at < message.size(); --n) out[pos++] = message[at++];
            continue;
        }
        const uint64_t code = (tag >> 1) & 7;
        const uint64_t length = code ? code + 4 : varint() + 4;
        if (cut) break;
        const uint64_t source = pos - (tag >> 4);
        for (uint64_t k = 0; k < length; ++k) out[pos + k] = out[source + k];
        pos += length;
    }
    return out;
}

}  // namespace

TEST(CompressMessage_WorkedExamples, MatchDescribedBytes) {
    EXPECT_EQ(compress_message(""), bytes({0x00}));
    EXPECT_EQ(compress_message("abc"), bytes({0x03, 0x07, 'a', 'b', 'c'}));
    EXPECT_EQ(compress_message(std::string(100, 'a')), bytes({0x64, 0x03, 0x61, 0x10, 0x5F}));
    EXPECT_EQ(decode(bytes({0x64, 0x03, 0x61, 0x10, 0x5F})), std::string(100, 'a'));
    EXPECT_EQ(decode(bytes({0x00})), "");
}

TEST(CompressMessage_RoundTrip, RandomInputsOfManySizes) {
    for (uint32_t seed = 1; seed < 40; ++seed) {
        const std::string input = sample_text(seed, seed * seed * 37);
        const std::string message = compress_message(input);
        EXPECT_EQ(decode(message), input) << "seed " << seed;
        // The table is reused across messages; output must not depend on history.
        EXPECT_EQ(compress_message(input), message);
    }
}

TEST(CompressMessage_SameBytesAsThePlainEncoder, AcrossDistancesLengthsAndNoise) {
    std::vector<std::string> inputs;
    for (uint32_t seed = 1; seed < 25; ++seed) inputs.push_back(sample_text(seed, seed * 997));
    // Repeats at distances past every cost threshold (8, 1024, 131072 bytes)
    // and lengths around the long-form and varint-size boundaries.
    std::mt19937 rng(5);
    std::string far;
    std::string block;
    for (int i = 0; i < 700; ++i) block.push_back(static_cast<char>(rng()));
    while (far.size() < 300000) {
        far += block.substr(rng() % 400, 5 + rng() % 140);
        for (uint32_t i = rng() % 3000; i > 0; --i) far.push_back(static_cast<char>(rng()));
    }
    inputs.push_back(far);
    inputs.push_back(std::string(5000, 'z') + "abcdefgh" + std::string(5000, 'z'));
    for (const std::string& input : inputs) {
        const std::string message = compress_message(input);
        ASSERT_EQ(message, reference_compress(input)) << "input of " << input.size() << " bytes";
        EXPECT_EQ(decode(message), input);
    }
}

TEST(MessageDecompressor_FedOneByteAtATimeMatchesWhole, AndKeepsTheRest) {
    const std::string input = sample_text(7, 5000);
    const std::string message = compress_message(input);
    EXPECT_EQ(decode_bytewise(message), input);
    for (size_t piece : {2, 3, 7, 64, 1000}) {
        std::string rest;
        const std::string with_tail = message + std::string(piece * 2, 'T');
        EXPECT_EQ(decode_in_pieces(with_tail, piece, &rest), input) << piece;
        // What follows the message inside the last piece is handed back.
        const size_t consumed = (message.size() + piece - 1) / piece * piece;
        EXPECT_EQ(rest, std::string(consumed - message.size(), 'T')) << piece;
    }
}

TEST(MessageDecompressor_ShortCopyAtEndCompletes, RegressionForInputEndingAfterCopyTag) {
    // "abcdeabcde" ends in a short copy (length code 1) with no further byte.
    const std::string message = compress_message("abcdeabcde");
    EXPECT_EQ(message.back() & 1, 0);
    MessageDecompressor d;
    std::string rest;
    const auto* p = reinterpret_cast<const uint8_t*>(message.data());
    EXPECT_TRUE(d.feed(p, p + message.size(), rest));
    EXPECT_EQ(d.output(), "abcdeabcde");
    EXPECT_EQ(decode_bytewise(message), "abcdeabcde");
}

TEST(MessageDecompressor_Errors, KeepTheirExactTexts) {
    auto malformed = [](const std::string& m) {
        try {
            decode(m);
        } catch (const std::runtime_error& e) {
            return std::string(e.what()) == "Malformed data while uncompressing";
        }
        return false;
    };
    EXPECT_TRUE(malformed(bytes({0x02, 0x07, 'a', 'b', 'c'})));  // literal past declared length
    EXPECT_TRUE(malformed(bytes({0x08, 0x03, 'a', 0x22})));      // copy from 2 back after 1 byte
    EXPECT_TRUE(malformed(bytes({0x05, 0x03, 'a', 0x12})));      // copy of 5 past length 5
    EXPECT_TRUE(malformed(bytes({0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x01})));
    EXPECT_TRUE(malformed(bytes({0x10, 0x03, 'a', 0x10, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x01})));
    try {
        decode(bytes({0xE8, 0x07}), 100);
        FAIL();
    } catch (const std::length_error& e) {
        EXPECT_STREQ(e.what(), "Uncompressed data in message deemed too large");
    }
}

TEST(MessageDecompressor_EdgeCases, DistanceZeroAndCutShortMessages) {
    // Distance 0 copies leave the zero bytes in place.
    EXPECT_EQ(decode(bytes({0x06, 0x03, 'x', 0x02})), std::string("x\0\0\0\0\0", 6));
    // Regression: an empty literal copied wide left its slack where a
    // distance 0 copy then kept it. Whole and byte by byte, zeros come first.
    std::string slack = bytes({21, 0x01, 0x02, 0x21}) + std::string(16, 'x');
    EXPECT_EQ(decode(slack), std::string(5, '\0') + std::string(16, 'x'));
    EXPECT_EQ(decode_bytewise(slack), decode(slack));
    // A message cut short keeps its declared length, zero where nothing came.
    EXPECT_EQ(decode(bytes({0x04, 0x09, 'a', 'b'})), std::string("ab\0\0", 4));
    // A 10-byte varint is still accepted.
    EXPECT_EQ(decode(bytes({0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x00})), "");
}

TEST(MessageDecompressor_EdgeCases, EveryCutOfAMessageLeavesZerosWhereNothingWasDecoded) {
    // Short elements are copied in wide steps that write past their end for
    // a while; a message cut at any byte must not show those bytes.
    for (uint32_t seed : {3u, 11u}) {
        const std::string message = compress_message(sample_text(seed, 3000));
        for (size_t cut = 1; cut <= message.size(); ++cut) {
            const std::string prefix = message.substr(0, cut);
            ASSERT_EQ(decode(prefix), reference_decode(prefix)) << "seed " << seed << ", cut at " << cut;
        }
    }
}

TEST(Base64_Decode, AlphabetsPaddingAndErrors) {
    const std::string hello = "hello?>";
    const auto* h = reinterpret_cast<const uint8_t*>(hello.data());
    EXPECT_EQ(base64_encode(h, hello.size()), "aGVsbG8/Pg==");
    EXPECT_EQ(base64_encode(h, hello.size(), Base64Alphabet::url_safe), "aGVsbG8_Pg..");
    const std::vector<uint8_t> expected(hello.begin(), hello.end());
    EXPECT_EQ(base64_decode("aGVsbG8/Pg=="), expected);
    EXPECT_EQ(base64_decode("aGVsbG8_Pg.."), expected);
    EXPECT_EQ(base64_decode("aGVsbG8/Pg"), expected);
    EXPECT_EQ(base64_decode("aGVs\nbG8/Pg==", true), expected);
    EXPECT_TRUE(base64_decode("").empty());
    for (const char* bad : {"aGVsb", "a", "aG$s", "aGVs\nbG8="}) {
        try {
            base64_decode(bad);
            ADD_FAILURE() << bad;
        } catch (const std::runtime_error& e) {
            EXPECT_STREQ(e.what(), "Input is not valid base64-encoded data.");
        }
    }
    std::vector<uint8_t> all(256);
    for (int i = 0; i < 256; ++i) all[i] = static_cast<uint8_t>(i);
    EXPECT_EQ(base64_decode(base64_encode(all.data(), all.size())), all);
}

TEST(Scrambler_KeystreamFromSeed871, IsItsOwnInverseAndRestartsPerBuffer) {
    // Long enough to cross the keystream's internal blocks.
    std::vector<uint8_t> a(10000, 0);
    scramble(a.data(), a.size());
    // The first keystream bytes follow the walk from 871: 2614, 1307, 3922, ...
    EXPECT_EQ(a[0], 2614 & 0xFF);
    EXPECT_EQ(a[1], 1307 & 0xFF);
    EXPECT_EQ(a[2], 3922 & 0xFF);
    std::vector<uint8_t> b(10000, 0);
    scramble(b.data(), b.size());
    EXPECT_EQ(a, b);
    // The one-pass copy gives the same bytes and leaves its source alone.
    const std::vector<uint8_t> zeros(10000, 0);
    std::vector<uint8_t> copied(10000, 0xEE);
    scramble_copy(zeros.data(), copied.data(), zeros.size());
    EXPECT_EQ(copied, a);
    // Odd lengths and offsets take the tail path; the result matches a byte walk.
    std::vector<uint8_t> c(a.begin(), a.begin() + 333);
    scramble(c.data(), c.size());
    EXPECT_EQ(c, std::vector<uint8_t>(333, 0));
    int32_t state = 871;
    for (size_t i = 0; i < a.size(); ++i) {
        state = (state & 1) ? 3 * state + 1 : state / 2;
        if (state == 1) state = 871;
        ASSERT_EQ(a[i], state & 0xFF) << i;
    }
}

TEST(ContentString_RoundTrip, EmptyZerosAndLong) {
    ContentWriter w;
    const std::string with_zero("a\0b\0c", 5);
    const std::string long_text = sample_text(3, 1000);
    w.write_string("");
    w.write_string(with_zero);
    w.write_string(long_text);
    // An empty string is a one-byte message: L = 1.
    EXPECT_EQ(w.bytes().substr(0, 8), std::string("\x01\0\0\0\0\0\0\0", 8));
    ContentReader r(reinterpret_cast<const uint8_t*>(w.bytes().data()), w.bytes().size());
    EXPECT_EQ(r.read_string("a"), "");
    EXPECT_EQ(r.read_string("b"), with_zero);
    EXPECT_EQ(r.read_string("c"), long_text);
    EXPECT_TRUE(r.at_end());
}

TEST(ByteBuffer_BinaryForm, EmptyIsEightZeroBytesAndWritesAreRepeatable) {
    ContentWriter w;
    ByteBuffer empty;
    empty.write(w);
    EXPECT_EQ(w.bytes(), std::string(8, '\0'));
    ByteBuffer b(std::vector<uint8_t>{1, 2, 3, 4, 5});
    ContentWriter w1, w2;
    b.write(w1);
    b.write(w2);
    EXPECT_EQ(w1.bytes(), w2.bytes());
    EXPECT_EQ(b.data, (std::vector<uint8_t>{1, 2, 3, 4, 5}));
    ContentReader r(reinterpret_cast<const uint8_t*>(w1.bytes().data()), w1.bytes().size());
    EXPECT_EQ(ByteBuffer(r).data, b.data);
    EXPECT_EQ(b.to_json(false), "AQIDBAU=");
}

TEST(ContentReader_TruncatedOrForged, FailsWithWhatAndOffset) {
    ContentWriter w;
    w.write_u32(7);
    w.write_u64(1ull << 62);  // a forged count
    const std::string& s = w.bytes();
    ContentReader r(reinterpret_cast<const uint8_t*>(s.data()), s.size());
    EXPECT_EQ(r.read_u32("x"), 7u);
    try {
        r.read_count("event list count", 8);
        FAIL();
    } catch (const ContentError& e) {
        EXPECT_NE(std::string(e.what()).find("event list count at byte 4"), std::string::npos) << e.what();
    }
    ContentReader r2(reinterpret_cast<const uint8_t*>(s.data()), s.size());
    r2.read_u32("x");
    EXPECT_THROW(r2.read_string("name"), ContentError);  // length 2^62
    ContentReader r3(reinterpret_cast<const uint8_t*>(s.data()), 3);
    EXPECT_THROW(r3.read_f32("bpm"), ContentError);

    // A string whose message is malformed reports the codec's text.
    ContentWriter bad;
    std::string message = bytes({0x05, 0x03, 'a', 0x12});
    scramble(reinterpret_cast<uint8_t*>(message.data()), message.size());
    bad.write_u64(message.size());
    bad.write_raw(message.data(), message.size());
    ContentReader r4(reinterpret_cast<const uint8_t*>(bad.bytes().data()), bad.bytes().size());
    try {
        r4.read_string("shader source");
        FAIL();
    } catch (const ContentError& e) {
        EXPECT_NE(std::string(e.what()).find("Malformed data while uncompressing"), std::string::npos);
    }
}

TEST(Data_JsonForms, EmbeddedAndExternal) {
    Data d;
    d.name = "blob.bin";
    d.buffer = ByteBuffer(std::vector<uint8_t>{9, 8, 7});
    const auto j = d.to_json(false);
    EXPECT_EQ(j.at("data_buffer"), "CQgH");
    Data back;
    back.from_json(j);
    EXPECT_EQ(back.buffer.data, d.buffer.data);
    nlohmann::json missing = {{"name", "/nonexistent/file.bin"}};
    try {
        back.from_json(missing);
        FAIL();
    } catch (const ContentError& e) {
        EXPECT_STREQ(e.what(), "File not found: /nonexistent/file.bin");
    }
    Data evil;
    evil.name = "../escape.bin";
    EXPECT_THROW(evil.to_json(true), ContentError);
}
