#include <gtest/gtest.h>
#include <zlib.h>

#include <random>

#include "platform/MemoryStream.h"
#include "png/Adler32.h"
#include "png/DecompressionStream.h"
#include "png/DeflateBuffer.h"
#include "png/ZlibError.h"
#include "support/TestSupport.h"

namespace quill {
namespace {

using test::Bytes;

Bytes Deflate(const Bytes& in) {
    TZlibBlock block;
    int64_t size = -1;
    DeflateBuffer(in.data(), static_cast<int64_t>(in.size()), block, size);
    return Bytes(block.get(), block.get() + size);
}

Bytes RandomBytes(size_t n, unsigned seed) {
    std::mt19937 gen(seed);
    Bytes b(n);
    for (auto& x : b) x = static_cast<uint8_t>(gen());
    return b;
}

// Inflates everything the stream delivers, in reads of the given size.
Bytes InflateAll(TDecompressionStream& z, size_t readSize) {
    Bytes out, piece(readSize);
    for (;;) {
        const int64_t n = z.Read(piece.data(), static_cast<int64_t>(piece.size()));
        out.insert(out.end(), piece.begin(), piece.begin() + n);
        if (n < static_cast<int64_t>(piece.size())) return out;
    }
}

TMemoryStream StreamOf(const Bytes& bytes) {
    TMemoryStream s;
    s.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
    s.SetPosition(0);
    return s;
}

template <class E>
void ExpectMessage(const std::function<void()>& f, const std::string& message) {
    try {
        f();
        ADD_FAILURE() << "no exception";
    } catch (const E& e) {
        EXPECT_EQ(e.Message(), message);
    }
}

TEST(DeflateBuffer, RoundTripsAcrossSizesAndBufferBoundaries) {
    Bytes text;
    for (int i = 0; i < 70000; ++i) text.push_back(static_cast<uint8_t>("vornik "[i % 7]));
    const std::vector<Bytes> inputs = {
        {},
        {42},
        RandomBytes(1 << 20, 1),    // incompressible: output larger than input
        RandomBytes(65536 + 1, 2),  // one byte past the stream's input buffer
        text,
    };
    for (const Bytes& in : inputs) {
        SCOPED_TRACE(in.size());
        const Bytes packed = Deflate(in);
        ASSERT_GE(packed.size(), 2u);
        EXPECT_EQ(packed[0], 0x78);
        EXPECT_EQ(packed[1], 0xDA);  // level 9, 32 KiB window
        // zlib itself agrees...
        Bytes check(in.size() + 1);
        uLongf checkSize = check.size();
        ASSERT_EQ(uncompress(check.data(), &checkSize, packed.data(), packed.size()), Z_OK);
        EXPECT_EQ(Bytes(check.begin(), check.begin() + checkSize), in);
        // ...and so does our stream, read in odd-sized pieces.
        TMemoryStream source = StreamOf(packed);
        TDecompressionStream z(source);
        EXPECT_EQ(InflateAll(z, 4097), in);
    }
}

TEST(DeflateBuffer, SizesItsFirstBlockAheadInStepsOf256) {
    EXPECT_EQ(DeflateOutputEstimate(16448), 18176);
    EXPECT_EQ(DeflateOutputEstimate(0), 256);
    EXPECT_EQ(DeflateOutputEstimate(244), 512);  // 244 + 24 + 12 = 280
    EXPECT_EQ(DeflateOutputEstimate(222), 256);  // 222 + 22 + 12 = 256
}

TEST(DecompressionStream, ReadPastTheEndAnswersTheLengthThenZero) {
    const Bytes in = RandomBytes(1000, 3);
    TMemoryStream source = StreamOf(Deflate(in));
    TDecompressionStream z(source);
    Bytes out(5000);
    EXPECT_EQ(z.Read(out.data(), 5000), 1000);
    EXPECT_TRUE(std::equal(in.begin(), in.end(), out.begin()));
    EXPECT_EQ(z.Read(out.data(), 5000), 0);
    EXPECT_EQ(z.Position(), 1000);
}

TEST(DecompressionStream, BrokenDataRaiseError) {
    const Bytes good = Deflate(RandomBytes(200000, 4));
    Bytes corrupt = good;
    corrupt[2] ^= 0xFF;  // the first deflate block header
    Bytes badHeader = good;
    badHeader[0] = 0x77;  // not a zlib header
    Bytes wrongCheck = good;
    wrongCheck.back() ^= 1;  // the Adler-32 trailer
    const std::vector<std::pair<const char*, Bytes>> cases = {
        {"empty source", {}},
        {"truncated", Bytes(good.begin(), good.begin() + good.size() / 2)},
        {"corrupt", corrupt},
        {"bad header", badHeader},
        {"wrong check", wrongCheck},
    };
    for (const auto& [name, data] : cases) {
        SCOPED_TRACE(name);
        TMemoryStream source = StreamOf(data);
        TDecompressionStream z(source);
        Bytes out(300000);
        ExpectMessage<ECompressionError>([&] { z.Read(out.data(), 300000); }, "error");
        // zlib stays failed: so does the stream, until a restart.
        ExpectMessage<ECompressionError>([&] { z.Read(out.data(), 300000); }, "error");
    }
}

// A zlib stream of stored blocks, exactly `size` bytes long, and the data it holds.
std::pair<Bytes, Bytes> StoredStreamOfSize(size_t size) {
    for (size_t n = size - 16;; ++n) {
        const Bytes in = RandomBytes(n, 8);
        Bytes packed(size + 64);
        uLongf packedSize = packed.size();
        EXPECT_EQ(compress2(packed.data(), &packedSize, in.data(), n, 0), Z_OK);
        if (packedSize > size) return {};
        if (packedSize == size) return {Bytes(packed.begin(), packed.begin() + size), in};
    }
}

// The Adler-32 that ends the stream is checked also when its four bytes come in two fills
// of the input buffer, and again after a restart; any of them wrong fails the read.
TEST(DecompressionStream, ChecksTheTrailerAcrossInputBufferFills) {
    for (size_t past = 0; past <= 4; ++past) {  // trailer bytes after the first fill
        SCOPED_TRACE(past);
        const auto [good, in] = StoredStreamOfSize(TCustomZlibStream::kInputBufferSize + past);
        ASSERT_FALSE(good.empty());
        TMemoryStream source = StreamOf(good);
        TDecompressionStream z(source);
        EXPECT_EQ(InflateAll(z, 5000), in);
        z.Seek(0, soBeginning);
        EXPECT_EQ(InflateAll(z, 70000), in);
        for (size_t k = 1; k <= 4; ++k) {
            Bytes bad = good;
            bad[bad.size() - k] ^= 0x10;
            TMemoryStream badSource = StreamOf(bad);
            TDecompressionStream zb(badSource);
            ExpectMessage<ECompressionError>([&] { InflateAll(zb, 5000); }, "error");
        }
    }
}

// Ours equals zlib's adler32 at every width the processor has: every short length from
// every alignment, and runs long enough to need many reductions, from the largest
// starting sums and over bytes of 0xFF, which make the sums grow fastest.
TEST(Adler32, EqualsZlibsAtEveryWidth) {
    const Bytes random = RandomBytes(3 << 20, 9);
    const Bytes full(3 << 20, 0xFF);
    for (const TVectorWidth width : test::AllWidths()) {
        const TProcessorFeatures& features = ProcessorFeatures(width);
        SCOPED_TRACE(static_cast<int>(width));
        for (size_t offset = 0; offset < 32; ++offset)
            for (size_t n = 0; n <= 300; ++n) {
                const uint32_t start = n % 2 ? 1 : 0xFFF0FFF0;
                const uint8_t* p = random.data() + offset;
                ASSERT_EQ(Adler32(start, p, n, features), adler32(start, p, static_cast<uInt>(n)))
                    << "offset " << offset << " length " << n;
            }
        for (const Bytes* data : {&random, &full})
            for (const size_t n : {5551u, 5552u, 5553u, 65536u + 17, (3u << 20) - 7}) {
                const uint8_t* p = data->data() + (n & 7);
                EXPECT_EQ(Adler32(0xFFF0FFF0, p, n, features),
                          adler32(0xFFF0FFF0, p, static_cast<uInt>(n)))
                    << "length " << n;
            }
    }
    EXPECT_EQ(Adler32(1, random.data(), random.size()),
              adler32(1, random.data(), static_cast<uInt>(random.size())));
    EXPECT_EQ(Adler32(1, nullptr, 0), 1u);
}

TEST(DecompressionStream, PresetDictionaryRaisesInsteadOfLooping) {
    z_stream zs{};
    ASSERT_EQ(deflateInit(&zs, 9), Z_OK);
    const char dict[] = "dictionary";
    deflateSetDictionary(&zs, reinterpret_cast<const Bytef*>(dict), sizeof dict);
    Bytes in(100, 'd'), out(200);
    zs.next_in = in.data();
    zs.avail_in = static_cast<uInt>(in.size());
    zs.next_out = out.data();
    zs.avail_out = static_cast<uInt>(out.size());
    ASSERT_EQ(deflate(&zs, Z_FINISH), Z_STREAM_END);
    out.resize(zs.total_out);
    deflateEnd(&zs);

    TMemoryStream source = StreamOf(out);
    TDecompressionStream z(source);
    ExpectMessage<ECompressionError>([&] { z.Read(in.data(), 100); }, "error");
}

TEST(DecompressionStream, SeekRules) {
    Bytes in(100000);
    for (size_t i = 0; i < in.size(); ++i) in[i] = static_cast<uint8_t>(i * 7 + i / 300);
    const Bytes packed = Deflate(in);
    TMemoryStream source = StreamOf(packed);
    TDecompressionStream z(source);

    uint8_t b[10];
    z.ReadBuffer(b, 10);
    EXPECT_EQ(z.Seek(5, soCurrent), 15);
    z.ReadBuffer(b, 1);
    EXPECT_EQ(b[0], in[15]);
    EXPECT_EQ(z.Seek(0, soCurrent), 16);
    EXPECT_EQ(z.Seek(50000, soBeginning), 50000);  // forward skip across many pieces
    z.ReadBuffer(b, 1);
    EXPECT_EQ(b[0], in[50000]);

    for (auto [offset, origin] : {std::pair{int64_t{-1}, 1}, {50001, 0}, {10, 0}, {0, 2}}) {
        ExpectMessage<EDecompressionError>([&] { z.Seek(offset, origin); },
                                           "Invalid stream operation");
    }
    ExpectMessage<EDecompressionError>([&] { z.Write(b, 1); }, "Invalid stream operation");
    ExpectMessage<EDecompressionError>([&] { z.Size(); }, "Invalid stream operation");

    EXPECT_EQ(z.Seek(0, soBeginning), 0);
    z.ReadBuffer(b, 3);
    EXPECT_EQ(Bytes(b, b + 3), Bytes(in.begin(), in.begin() + 3));
    EXPECT_THROW(z.Seek(200000, soCurrent), EReadError);  // the skip comes up short
}

TEST(DecompressionStream, RestartReadsFromTheStartOfTheSource) {
    // The stream was created with the source positioned after a prefix, yet a restart
    // goes back to byte 0 of the source: there it finds the prefix, which is no zlib data.
    const Bytes in = RandomBytes(100, 5);
    Bytes data = {0xFF, 0xFF};
    const Bytes packed = Deflate(in);
    data.insert(data.end(), packed.begin(), packed.end());
    TMemoryStream source = StreamOf(data);
    source.SetPosition(2);
    TDecompressionStream z(source);
    Bytes out(100);
    z.ReadBuffer(out.data(), 100);
    EXPECT_EQ(out, in);
    z.Seek(0, soBeginning);
    EXPECT_THROW(z.Read(out.data(), 100), ECompressionError);
}

TEST(DecompressionStream, LeavesTheSourceJustAfterTheCompressedBytes) {
    const Bytes in = RandomBytes(3000, 6);
    Bytes data = Deflate(in);
    const int64_t end = static_cast<int64_t>(data.size());
    data.insert(data.end(), {'T', 'A', 'I', 'L'});
    TMemoryStream source = StreamOf(data);
    int refills = 0;
    {
        TDecompressionStream z(source);
        z.RefillNotify = [&](TCustomZlibStream&) { ++refills; };
        Bytes out(4000);
        EXPECT_EQ(z.Read(out.data(), 4000), 3000);
    }
    EXPECT_EQ(refills, 1);
    EXPECT_EQ(source.Position(), end);
    char tail[4];
    source.ReadBuffer(tail, 4);
    EXPECT_EQ(std::string(tail, 4), "TAIL");
}

TEST(DecompressionStream, RepositionsAMovedSourceBeforeReading) {
    const Bytes in = RandomBytes(200000, 7);
    TMemoryStream source = StreamOf(Deflate(in));
    TDecompressionStream z(source);
    Bytes out(in.size());
    z.ReadBuffer(out.data(), 1000);
    source.SetPosition(0);  // someone else moved the shared source
    z.ReadBuffer(out.data() + 1000, static_cast<int64_t>(in.size()) - 1000);
    EXPECT_EQ(out, in);
}

}  // namespace
}  // namespace quill
