#include <gtest/gtest.h>

#include <lz4.h>

#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "framework/fenn_pod.h"
#include "test_support.h"

namespace {

using bytes = std::vector<uint8_t>;

// Builds pod files chunk by chunk, independently of the reader.
struct pod_bytes {
    bytes b;
    pod_bytes& u32(uint32_t v) {
        for (int i = 0; i < 4; ++i) b.push_back(uint8_t(v >> (8 * i)));
        return *this;
    }
    pod_bytes& tag(const char* t, uint32_t size) {
        b.insert(b.end(), t, t + 4);
        return u32(size);
    }
    pod_bytes& raw(const bytes& more) {
        b.insert(b.end(), more.begin(), more.end());
        return *this;
    }
    pod_bytes& fixed(const char* text, size_t n) {
        bytes field(n, 0);
        std::memcpy(field.data(), text, std::min(n, std::strlen(text)));
        return raw(field);
    }
    pod_bytes& header(const char* name = "test", uint32_t count = 0) {
        tag("CPOD", 68).u32(1).fixed(name, 32).u32(count);
        return raw(bytes(28, 0));
    }
    pod_bytes& bitmap(uint32_t w, uint32_t h, uint32_t bpp, const bytes& px, uint32_t attr = 0) {
        tag("CBMP", uint32_t(px.size() + 20)).u32(w).u32(h).u32(bpp).u32(attr).u32(0);
        return raw(px);
    }
    pod_bytes& cbitmap(uint32_t w, uint32_t h, uint32_t bpp, const bytes& px) {
        bytes z = lz4(px);
        tag("cBMP", uint32_t(px.size() + 20)).u32(w).u32(h).u32(bpp).u32(0).u32(0);
        return u32(uint32_t(z.size())).raw(z);
    }
    pod_bytes& palette(uint8_t base) {
        tag("CPAL", 768);
        for (int i = 0; i < 768; ++i) b.push_back(uint8_t(base + i));
        return *this;
    }
    pod_bytes& file(const char* name, const bytes& data) {
        return tag("CFIL", 0).u32(uint32_t(data.size())).fixed(name, 64).raw(data);
    }
    pod_bytes& cfile(const char* name, const bytes& data) {
        bytes z = lz4(data);
        return tag("cFIL", 0).u32(uint32_t(data.size())).fixed(name, 64).u32(uint32_t(z.size())).raw(z);
    }
    static bytes lz4(const bytes& in) {
        bytes out(size_t(LZ4_compressBound(int(in.size()))));
        int n = LZ4_compress_default(reinterpret_cast<const char*>(in.data()), reinterpret_cast<char*>(out.data()),
                                     int(in.size()), int(out.size()));
        out.resize(size_t(n));
        return out;
    }
};

fenn_pod* load(const bytes& b) { return fenn_load_pod_memory("test", b.data(), b.size()); }

bytes seq(size_t n, uint8_t start = 1) {
    bytes v(n);
    for (size_t i = 0; i < n; ++i) v[i] = uint8_t(start + i * 7);
    return v;
}

}  // namespace

TEST(Pod, EmptyOrHeaderlessStreamsGiveNoPod) {
    EXPECT_EQ(load(pod_bytes().tag("CNOP", 0).b), nullptr);
    EXPECT_EQ(load(pod_bytes().header().b), nullptr);       // no items
    EXPECT_EQ(load(bytes{}), nullptr);
    EXPECT_EQ(load(pod_bytes().file("x", {1}).b), nullptr);  // items without a header
    EXPECT_EQ(fenn_load_pod_memory("null", nullptr, 0), nullptr);
}

TEST(Pod, EmptyDataItemIsAnItem) {
    fenn_pod* p = load(pod_bytes().header("sys").file("empty", {}).b);
    ASSERT_NE(p, nullptr);
    EXPECT_STREQ(p->name, "sys");
    ASSERT_EQ(fenn_pod_item_count(p), 1);
    const fenn_pod_item* d = fenn_pod_get_data(p, 0);
    ASSERT_NE(d, nullptr);
    EXPECT_STREQ(d->name, "empty");
    EXPECT_TRUE(d->bytes.empty());
    fenn_file s;
    ASSERT_TRUE(fenn_pod_open_data(p, 0, s));
    EXPECT_EQ(fenn_file_getc(s), -1);
    fenn_destroy_pod(p);
}

TEST(Pod, BackToBackPodsAreReadOneAfterTheOther) {
    bytes both = pod_bytes().header("one").palette(3).header("two").file("f", {9, 8}).file("g", {7}).b;
    fenn_file s;
    fenn_file_wrap(s, both.data(), both.size());
    fenn_pod* a = fenn_load_pod_file("first", s);
    ASSERT_NE(a, nullptr);
    EXPECT_STREQ(a->name, "one");
    EXPECT_EQ(fenn_pod_item_count(a), 1);
    EXPECT_EQ(fenn_file_tell(s), 8 + 68 + 8 + 768);  // stopped in front of the second header
    fenn_pod* b = fenn_load_pod_file("second", s);
    ASSERT_NE(b, nullptr);
    EXPECT_STREQ(b->name, "two");
    EXPECT_EQ(fenn_pod_item_count(b), 2);
    EXPECT_EQ(fenn_load_pod_file("third", s), nullptr);  // nothing left
    fenn_destroy_pod(a);
    fenn_destroy_pod(b);

    // An empty pod marker also ends the pod in front of it.
    bytes with_nop = pod_bytes().header().file("a", {1}).tag("CNOP", 0).header().file("b", {2}).b;
    fenn_file_wrap(s, with_nop.data(), with_nop.size());
    fenn_pod* c = fenn_load_pod_file("c", s);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(fenn_pod_item_count(c), 1);
    EXPECT_EQ(fenn_load_pod_file("nop", s), nullptr);  // the marker is an empty pod
    fenn_pod* d = fenn_load_pod_file("d", s);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(fenn_pod_get_data(d, 0)->bytes, bytes{2});
    fenn_destroy_pod(c);
    fenn_destroy_pod(d);
}

TEST(Pod, CompressedItemsDecodeToTheirExactSize) {
    bytes zeros(32768, 0);
    bytes b = pod_bytes().header().cfile("zeros", zeros).cbitmap(16, 4, 32, seq(256)).b;
    ASSERT_LT(b.size(), 1024u);  // the zeros really were stored short
    fenn_pod* p = load(b);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(fenn_pod_get_data(p, 0)->bytes, zeros);
    fenn_bitmap* bmp = fenn_pod_get_bitmap(p, 1);
    ASSERT_NE(bmp, nullptr);
    EXPECT_EQ(bmp->w, 16);
    EXPECT_EQ(bmp->depth, 32);
    EXPECT_EQ(bmp->pix, seq(256));
    fenn_destroy_pod(p);
}

TEST(Pod, UnknownChunksAreSkippedBySize) {
    bytes b = pod_bytes().header().tag("CSND", 12).raw(bytes(12, 0xee)).palette(0).b;
    fenn_pod* p = load(b);
    ASSERT_NE(p, nullptr);
    ASSERT_EQ(fenn_pod_item_count(p), 1);
    const uint8_t* pal = fenn_pod_get_palette(p, 0);
    ASSERT_NE(pal, nullptr);
    EXPECT_EQ(pal[0], 0);
    EXPECT_EQ(pal[767], uint8_t(767));
    fenn_destroy_pod(p);
}

TEST(Pod, ItemsKeepOrderTypesAndFields) {
    bytes long_name(80, 'n');
    long_name.push_back(0);
    bytes b = pod_bytes()
                  .header("0123456789012345678901234567890123456789")  // longer than the field
                  .bitmap(3, 2, 8, {1, 2, 3, 4, 5, 6}, 0xdeadbeef)
                  .palette(5)
                  .tag("CFIL", 0).u32(2).raw(bytes(64, 'x')).raw({0xab, 0xcd})  // name without a NUL
                  .b;
    fenn_pod* p = load(b);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(std::strlen(p->name), 32u);
    ASSERT_EQ(fenn_pod_item_count(p), 3);
    int types[3], n = 0;
    for (fenn_pod_item* it = fenn_pod_first(p); it; it = fenn_pod_next(p, it)) types[n++] = it->type;
    ASSERT_EQ(n, 3);
    EXPECT_EQ(types[0], fenn_pod_type_bitmap);
    EXPECT_EQ(types[1], fenn_pod_type_palette);
    EXPECT_EQ(types[2], fenn_pod_type_data);
    fenn_bitmap* bmp = fenn_pod_get_bitmap(p, 0);
    EXPECT_EQ(bmp->attribute, int(0xdeadbeef));
    EXPECT_EQ(bmp->pix, (bytes{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(bmp->clip_x1, 3);
    const fenn_pod_item* d = fenn_pod_get_data(p, 2);
    EXPECT_EQ(std::strlen(d->name), 63u);  // the last name byte is forced to NUL
    EXPECT_EQ(d->bytes, (bytes{0xab, 0xcd}));
    // Typed access refuses the wrong type and bad indices.
    EXPECT_EQ(fenn_pod_get_bitmap(p, 1), nullptr);
    EXPECT_EQ(fenn_pod_get_palette(p, 2), nullptr);
    EXPECT_EQ(fenn_pod_get_data(p, 0), nullptr);
    EXPECT_EQ(fenn_pod_get_item(p, -1), nullptr);
    EXPECT_EQ(fenn_pod_get_item(p, 3), nullptr);
    EXPECT_EQ(fenn_pod_get_item(nullptr, 0), nullptr);
    EXPECT_EQ(fenn_pod_next(p, fenn_pod_get_item(p, 2)), nullptr);
    fenn_destroy_pod(p);
}

TEST(Pod, ZeroTagEndsThePod) {
    bytes b = pod_bytes().header().file("a", {1}).tag("\0\0\0\0", 0).file("b", {2}).b;
    fenn_pod* p = load(b);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(fenn_pod_item_count(p), 1);
    fenn_destroy_pod(p);
}

TEST(Pod, NestedPodsReadFromDataItems) {
    bytes inner = pod_bytes().header("inner").bitmap(1, 1, 8, {7}).b;
    bytes outer = pod_bytes().header("outer").file("raw", inner).cfile("packed", inner).palette(0).b;
    fenn_pod* p = load(outer);
    ASSERT_NE(p, nullptr);
    for (int i = 0; i < 2; ++i) {
        fenn_pod* q = fenn_pod_load_nested(p, i);
        ASSERT_NE(q, nullptr) << i;
        EXPECT_STREQ(q->name, "inner");
        EXPECT_EQ(fenn_pod_get_bitmap(q, 0)->pix[0], 7);
        fenn_destroy_pod(q);
    }
    EXPECT_EQ(fenn_pod_load_nested(p, 2), nullptr);  // a palette is not a pod
    fenn_destroy_pod(p);
}

TEST(Pod, EveryTruncationIsRefusedOrEndsAtAChunkBoundary) {
    pod_bytes pb;
    pb.header();
    std::vector<size_t> ends;
    pb.bitmap(2, 2, 8, {1, 2, 3, 4});
    ends.push_back(pb.b.size());
    pb.cfile("c", seq(100));
    ends.push_back(pb.b.size());
    pb.palette(1);
    ends.push_back(pb.b.size());
    pb.cbitmap(4, 4, 8, seq(16));
    ends.push_back(pb.b.size());
    for (size_t len = 0; len <= pb.b.size(); ++len) {
        bytes cut(pb.b.begin(), pb.b.begin() + long(len));
        fenn_pod* p = load(cut);
        int whole = 0;
        for (size_t e : ends) whole += e <= len;
        bool at_boundary = std::find(ends.begin(), ends.end(), len) != ends.end();
        if (at_boundary) {
            ASSERT_NE(p, nullptr) << len;
            EXPECT_EQ(fenn_pod_item_count(p), whole) << len;
        } else {
            EXPECT_EQ(p, nullptr) << len;
        }
        fenn_destroy_pod(p);
    }
}

TEST(Pod, LyingSizesAreRefusedBeforeAllocating) {
    // Bitmap sides and depths the framework cannot create.
    EXPECT_EQ(load(pod_bytes().header().bitmap(0, 4, 8, {}).b), nullptr);
    EXPECT_EQ(load(pod_bytes().header().bitmap(2, 2, 16, bytes(8)).b), nullptr);
    EXPECT_EQ(load(pod_bytes().header().bitmap(8193, 1, 8, bytes(8193)).b), nullptr);
    EXPECT_EQ(load(pod_bytes().header().bitmap(0xffffffff, 0xffffffff, 32, {}).b), nullptr);
    // A data length far beyond what the stream holds.
    EXPECT_EQ(load(pod_bytes().header().tag("CFIL", 0).u32(0xfffffff0).raw(bytes(64 + 10)).b), nullptr);
    // Beyond the total cap even when the bytes claim to be compressed.
    EXPECT_EQ(load(pod_bytes().header().tag("cFIL", 0).u32(200u << 20).raw(bytes(64)).u32(4).raw(bytes(4)).b),
              nullptr);
    // A tiny LZ4 block claiming a huge result.
    EXPECT_EQ(load(pod_bytes().header().tag("cFIL", 0).u32(1u << 20).raw(bytes(64)).u32(2).raw({0x10, 0}).b),
              nullptr);
    // An unknown chunk whose size runs past the end.
    EXPECT_EQ(load(pod_bytes().header().file("a", {1}).tag("XXXX", 1000).raw(bytes(10)).b), nullptr);
}

TEST(Pod, DamagedLz4IsRefused) {
    bytes data = seq(500);
    bytes z = pod_bytes::lz4(data);
    // Declared one byte longer than the block decodes to.
    EXPECT_EQ(load(pod_bytes().header().tag("cFIL", 0).u32(501).raw(bytes(64)).u32(uint32_t(z.size())).raw(z).b),
              nullptr);
    // Declared shorter: the block would overrun its output.
    EXPECT_EQ(load(pod_bytes().header().tag("cFIL", 0).u32(499).raw(bytes(64)).u32(uint32_t(z.size())).raw(z).b),
              nullptr);
    // Garbage bytes in place of the block.
    bytes junk(z.size(), 0xff);
    EXPECT_EQ(load(pod_bytes().header().tag("cFIL", 0).u32(500).raw(bytes(64)).u32(uint32_t(junk.size())).raw(junk).b),
              nullptr);
    // The block intact decodes.
    fenn_pod* p = load(pod_bytes().header().tag("cFIL", 0).u32(500).raw(bytes(64)).u32(uint32_t(z.size())).raw(z).b);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(fenn_pod_get_data(p, 0)->bytes, data);
    fenn_destroy_pod(p);
}

TEST(Pod, LoadsFromDiskAndCountsItsObjects) {
    std::string dir = vexel_test::temp_dir("pod");
    std::string path = dir + "/t.pod";
    bytes b = pod_bytes().header().bitmap(2, 1, 8, {4, 5}).b;
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(b.data()), long(b.size()));
    int alive = fenn_items_alive();
    fenn_pod* p = fenn_load_pod(path.c_str());
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(fenn_items_alive(), alive + 2);  // the pod and its bitmap
    EXPECT_EQ(fenn_pod_get_bitmap(p, 0)->pix[1], 5);
    fenn_destroy_pod(p);
    EXPECT_EQ(fenn_items_alive(), alive);
    EXPECT_EQ(fenn_load_pod((dir + "/missing.pod").c_str()), nullptr);
    EXPECT_EQ(fenn_load_pod(dir.c_str()), nullptr);
    EXPECT_EQ(fenn_load_pod(nullptr), nullptr);
    // A refused pod leaves nothing behind.
    bytes bad = pod_bytes().header().bitmap(2, 1, 8, {4, 5}).bitmap(1, 1, 9, {0}).b;
    EXPECT_EQ(load(bad), nullptr);
    EXPECT_EQ(fenn_items_alive(), alive);
}
