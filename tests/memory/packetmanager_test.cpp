// The packet manager: policies, configuration, the buddy pool and its misuse checks. Every
// TEST runs in its own process, so each one configures the manager from scratch.
#include "memory_test_util.h"

#include "infra/print.h"
#include "support/testsupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <regex>
#include <set>

namespace {

using namespace OrlixTest;
using Orlix::Infra::setPrintLogLevel;

CountingOperator g_operator; // the manager keeps using it until exit

// Allocates through the internal slot, which reports the block's real size.
void* poolMalloc(size_t size, size_t* real = nullptr)
{
    void* block = PacketManagerInternal::instance()->m_malloc(size);
    if (real != nullptr)
        *real = size;
    return block;
}

// ---------------------------------------------------------------------------------------------
// Policies and configuration
// ---------------------------------------------------------------------------------------------

// What each policy reports, logs when the manager is made and dumps; "" means nothing at all.
struct PolicyCase
{
    const char* name;
    int policy; // -1: never configured
    size_t alignSize, alignment;
    CPacketManager::Policy effective;
    unsigned int bufferSize;
    const char *startLine, *dumpLine;
};

const char* const kSysDump = "CPacketManager dump: SYS Policy\n";
const PolicyCase kPolicies[] = {
    {"Unconfigured", -1, 4, sizeof(void*), CPacketManager::policySystem, 0,
     "CPacketManager: System Policy\n", kSysDump},
    // policyDefault keeps the system policy but takes the sizes; alignSize rounds down.
    {"Default", CPacketManager::policyDefault, 100, 64, CPacketManager::policySystem, 0,
     "CPacketManager: System Policy\n", kSysDump},
    {"None", CPacketManager::policyNone, 4, sizeof(void*), CPacketManager::policyNone, 0, "", ""},
    // Reported like a pool, dumped like the system policy; alignSize 4 is raised to a pointer.
    {"PoolData", CPacketManager::policyPoolData, 4, sizeof(void*), CPacketManager::policyPoolData,
     2097152, "CPacketManager: malloc total(2097152)", kSysDump},
};

class PacketManagerPolicy : public ::testing::TestWithParam<PolicyCase>
{};

TEST_P(PacketManagerPolicy, ReportsServesAndDumps)
{
    const PolicyCase& c = GetParam();
    if (c.policy >= 0)
        configurePool(static_cast<CPacketManager::Policy>(c.policy), 2097152, 1024, c.alignSize);
    setPrintLogLevel(6);
    PrintCapture capture;
    CPacketManager* manager = CPacketManager::instance();
    const CPacketManager& reports = *manager; // the reports change nothing
    PacketManagerInternal* internal = PacketManagerInternal::instance();
    EXPECT_TRUE(*c.startLine ? capture.contains(c.startLine) : capture.text().empty());
    EXPECT_EQ(internal->getPolicy(), c.effective);
    EXPECT_EQ(reports.getBufferSize(), c.bufferSize);
    EXPECT_EQ(reports.getPoolBuffer() != nullptr, c.bufferSize != 0);
    EXPECT_EQ(internal->alignment(), c.alignment);
    EXPECT_EQ(internal->alignUp(c.alignment + 1), 2 * c.alignment);

    void* p = manager->malloc(100);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(manager->memcpy(p, "abc", 4), p);
    EXPECT_STREQ(static_cast<char*>(p), "abc");
    manager->free(p);
    manager->free(nullptr);
    capture.clear();
    reports.dumpNodes();
    EXPECT_EQ(capture.pieces().size(), *c.dumpLine ? 1u : 0u) << capture.text();
    EXPECT_TRUE(capture.contains(c.dumpLine));
}

INSTANTIATE_TEST_SUITE_P(, PacketManagerPolicy, ::testing::ValuesIn(kPolicies),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(PacketManagerConfig, OverridesUntilFirstUseThenWarnsOncePerCall)
{
    configurePool(CPacketManager::policyPoolData, 8192);
    configurePool(CPacketManager::policyPool, 1 << 20, 2048);
    CPacketManager::instance();
    PrintCapture capture;
    configurePool(CPacketManager::policyPoolData, 1 << 21);
    CPacketManager::config(CPacketManager::policyNone, nullptr, nullptr);
    const std::string text = capture.text();
    const std::regex warning(R"(\[src/memory/packetmanager\.cpp:\d+\] tid:\d+, )"
                             R"(PacketManagerInternal::config\(\) failured: )"
                             R"(Packet Manager has been configured!\n)");
    EXPECT_EQ(std::distance(std::sregex_iterator(text.begin(), text.end(), warning),
                            std::sregex_iterator()),
              2);
    EXPECT_EQ(PacketManagerInternal::instance()->getPolicy(), CPacketManager::policyPool);
    EXPECT_EQ(PacketManagerInternal::instance()->chunkSize(), 2048u);
    EXPECT_EQ(CPacketManager::instance()->getBufferSize(), 1u << 20);
}

TEST(PacketManagerOperator, PoolTakesItsRegionOnceAndCopiesInsideThePoolOnly)
{
    CPacketManager::MemoryOperator op = g_operator.bind();
    CPacketManager::PoolParameter param = {65536, 1024, 4};
    CPacketManager::config(CPacketManager::policyPool, &op, &param);
    CPacketManager* manager = CPacketManager::instance();
    EXPECT_EQ(g_operator.mallocs, 1);
    EXPECT_EQ(g_operator.lastSize, 65u * 1024); // one chunk more, for the alignment
    unsigned char* a = static_cast<unsigned char*>(manager->malloc(100));
    unsigned char* b = static_cast<unsigned char*>(manager->malloc(100));
    char outside[16] = {};
    std::memset(a, 'a', 16);
    manager->memcpy(b, a, 16);
    EXPECT_EQ(g_operator.copies, 1);
    manager->memcpy(outside, a, 16); // one end outside the pool: the standard copy
    manager->memcpy(a, "zz", 2);
    EXPECT_EQ(g_operator.copies, 1);
    EXPECT_EQ(std::memcmp(outside, b, 16), 0);
    manager->free(a);
    manager->free(b);
    EXPECT_EQ(g_operator.mallocs, 1);
    EXPECT_EQ(g_operator.frees, 0);
}

TEST(PacketManagerOperator, RefusedRegionFallsBackToTheSystemPolicy)
{
    g_operator.refuseFrom = 4096;
    CPacketManager::MemoryOperator op = g_operator.bind();
    op.free = [target = &g_operator](void* p) { target->release(p); }; // any lambda will do
    ASSERT_EQ(op.free.kind(), 3u);
    CPacketManager::PoolParameter param = {1 << 20, 1024, 4};
    CPacketManager::config(CPacketManager::policyPool, &op, &param);
    PrintCapture capture;
    CPacketManager* manager = CPacketManager::instance();
    EXPECT_TRUE(capture.contains("could not be obtained"));
    EXPECT_TRUE(capture.contains("falling back to the system policy"));
    EXPECT_EQ(PacketManagerInternal::instance()->getPolicy(), CPacketManager::policySystem);
    EXPECT_EQ(manager->getBufferSize(), 0u);
    void* p = manager->malloc(100); // now every operation goes through the operator
    EXPECT_EQ(p, g_operator.lastBlock);
    EXPECT_EQ(g_operator.lastSize, 100u);
    manager->memcpy(p, "x", 2);
    manager->free(p);
    EXPECT_EQ(g_operator.copies + g_operator.frees, 2);
}

// ---------------------------------------------------------------------------------------------
// The buddy pool
// ---------------------------------------------------------------------------------------------

TEST(PacketManagerPool, DefaultPoolGeometryAndFirstRequests)
{
    configurePool(CPacketManager::policyPool);
    setPrintLogLevel(4);
    PrintCapture capture;
    PacketManagerInternal* pool = PacketManagerInternal::instance();
    const size_t tables = sizeof(Orlix::Memory::BufferNode) * (2048 + 12);
    EXPECT_TRUE(capture.contains("CPacketManager: malloc total(2097152) pagesize(1024)"
                                 "blockCount (2048) ManagermentSize(" +
                                 std::to_string(tables) + ")\n"));
    EXPECT_TRUE(std::regex_search(capture.text(),
                                  std::regex(" {16}AddrRange\\(0x[0-9a-f]+-0x[0-9a-f]+\\)\n")));
    EXPECT_EQ(pool->orderCount(), 12);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(pool->alignedBuffer()) % 1024, 0u);
    EXPECT_GE(pool->alignedBuffer(), pool->originBuffer());
    EXPECT_LT(pool->alignedBuffer(), pool->originBuffer() + 1024);
    expectPoolWhole();

    // One-chunk requests take the highest chunks, splitting from the top.
    size_t real = 0;
    void* first = poolMalloc(1, &real);
    EXPECT_EQ(real, 1024u);
    EXPECT_EQ(chunkIndexOf(first), 2047);
    EXPECT_EQ(pool->nodeOrder(2047), -1);
    // One free block in each of lists 0..10: at 2046, 2044, 2040, ..., 1024, 0.
    for (int order = 0; order <= 10; ++order)
        EXPECT_EQ(pool->freeListIndices(order), std::vector<int>{2048 - (2 << order)});
    EXPECT_TRUE(pool->freeListIndices(11).empty());
    void* second = poolMalloc(1000);
    void* third = poolMalloc(1024);
    EXPECT_EQ(chunkIndexOf(second), 2046);
    EXPECT_EQ(chunkIndexOf(third), 2045); // after splitting 2044-2045
    EXPECT_EQ(pool->freeListIndices(0), std::vector<int>{2044});
    EXPECT_EQ(CPacketManager::instance()->getFreeSize(), 2097152u - 3 * 1024);
    CPacketManager::instance()->free(second);
    EXPECT_EQ(poolMalloc(1), second); // last in, first out
    for (void* block : {first, second, third})
        CPacketManager::instance()->free(block);
    expectPoolWhole();

    // Requests take the smallest power-of-two run of chunks, aligned to its size.
    const size_t sizes[] = {1, 1024, 1025, 2048, 3072, 4097, 1048576};
    const size_t expected[] = {1024, 1024, 2048, 2048, 4096, 8192, 1048576};
    std::vector<void*> blocks;
    for (size_t i = 0; i < 7; ++i) {
        blocks.push_back(poolMalloc(sizes[i], &real));
        EXPECT_EQ(real, expected[i]) << "request " << sizes[i];
        EXPECT_EQ(chunkIndexOf(blocks.back()) % (expected[i] / 1024), 0);
    }
    for (void* block : blocks)
        CPacketManager::instance()->free(block);
    expectPoolWhole();
}

TEST(PacketManagerPool, ThreeMiBPoolIsSeededFromTheSetBitsOfItsBlockCount)
{
    configurePool(CPacketManager::policyPool, 3 * 1024 * 1024);
    setPrintLogLevel(4);
    PacketManagerInternal* pool = PacketManagerInternal::instance();
    EXPECT_EQ(pool->blockCount(), 3072u);
    EXPECT_EQ(pool->orderCount(), 12);
    EXPECT_EQ(pool->freeListIndices(11), std::vector<int>{0});
    EXPECT_EQ(pool->freeListIndices(10), std::vector<int>{2048});
    EXPECT_EQ(CPacketManager::instance()->getFreeSize(), 3145728u);

    // Requests no block can hold fail, are logged and leave the pool (and the size) alone.
    PrintCapture capture;
    size_t real = 0;
    EXPECT_EQ(poolMalloc(0, &real), nullptr);
    EXPECT_EQ(poolMalloc(3 * 1024 * 1024, &real), nullptr);
    EXPECT_EQ(real, 3u * 1024 * 1024);
    EXPECT_EQ(CPacketManager::instance()->malloc(0xFFFFFFFFu), nullptr);
    EXPECT_TRUE(capture.contains("CPacket No Free Space\n"));
    expectPoolWhole();

    // The order-10 block's buddy would start at chunk 3072, beyond the pool: no merge.
    void* block = poolMalloc(1 << 20);
    EXPECT_EQ(chunkIndexOf(block), 2048);
    CPacketManager::instance()->free(block);
    expectPoolWhole();
    // The largest block can be had once.
    void* largest = poolMalloc(2 << 20, &real);
    EXPECT_EQ(real, 2u << 20);
    EXPECT_EQ(chunkIndexOf(largest), 0);
    EXPECT_EQ(poolMalloc(2 << 20), nullptr);
    EXPECT_EQ(CPacketManager::instance()->getFreeSize(), 1u << 20);
    CPacketManager::instance()->free(largest);
    expectPoolWhole();
}

TEST(PacketManagerPool, DumpListsEveryOrderAndEveryFreeBlock)
{
    configurePool(CPacketManager::policyPool, 4 * 1024);
    setPrintLogLevel(4);
    CPacketManager* manager = CPacketManager::instance();
    void* block = manager->malloc(1); // chunk 3; chunk 2 free in list 0, chunks 0-1 in list 1
    PrintCapture capture;
    manager->dumpNodes();
    const std::string p = "0x[0-9a-f]+";
    const std::string head = " head\\(" + p + "\\), headpre\\(" + p + "\\)next\\(" + p + "\\)";
    auto entry = [&p](const char* list, const char* index, const char* order) {
        return std::string("bufflist\\(") + list + "\\)id: 0, realIdx\\(" + index + "\\)self\\(" +
               p + "\\)order\\(" + order + "\\) pre\\(" + p + "\\), next\\(" + p + "\\)";
    };
    // Whole lines, each after whatever prefix the print options add.
    const std::string l = "[^\n]*";
    const std::string expected =
        l + "CPacketManager: dump FreeList\n" + l + "BufferList id:0, order\\(1\\)" + head + "\n" +
        l + entry("0", "2", "1") + "\n" + l + "BufferList id:1, order\\(2\\)" + head + "\n" + l +
        entry("1", "0", "2") + "\n" + l + "BufferList id:2, order\\(3\\)" + head + "\n";
    EXPECT_TRUE(std::regex_match(capture.text(), std::regex(expected))) << capture.text();
    manager->free(block);
}

// The model knows only which chunks belong to which live allocation; it does not share the
// pool's algorithm. After every step the free lists must cover exactly the chunks the model
// calls free, each free block must be aligned to its order and headed by a node that says so,
// no two free buddies of one order may coexist (they would have merged), and an allocation
// may fail only when no aligned run of the needed size is free.
class PoolModel
{
public:
    explicit PoolModel(unsigned int chunks) : m_owned(chunks, false) {}

    bool freeRunExists(int order) const
    {
        const size_t run = size_t(1) << order;
        for (size_t start = 0; start + run <= m_owned.size(); start += run)
            if (std::none_of(m_owned.begin() + long(start), m_owned.begin() + long(start + run),
                             [](bool owned) { return owned; }))
                return true;
        return false;
    }

    void mark(int start, int order, bool owned)
    {
        for (int i = start; i < start + (1 << order); ++i) {
            ASSERT_NE(m_owned[i], owned) << "chunk " << i;
            m_owned[i] = owned;
        }
    }

    void check(PacketManagerInternal* pool) const
    {
        std::vector<int> covered(m_owned.size(), 0);
        size_t freeChunks = 0;
        for (int order = 0; order < pool->orderCount(); ++order) {
            const std::vector<int> list = pool->freeListIndices(order);
            const std::set<int> heads(list.begin(), list.end());
            ASSERT_EQ(heads.size(), list.size()) << "a block is listed twice";
            for (int head : list) {
                ASSERT_EQ(head % (1 << order), 0) << "misaligned free block " << head;
                ASSERT_LE(size_t(head) + (size_t(1) << order), m_owned.size());
                ASSERT_EQ(pool->nodeOrder(head), order + 1);
                ASSERT_EQ(heads.count(head ^ (1 << order)), 0u) << "unmerged buddy of " << head;
                for (int i = head; i < head + (1 << order); ++i)
                    ++covered[i];
                freeChunks += size_t(1) << order;
            }
        }
        for (size_t i = 0; i < m_owned.size(); ++i)
            ASSERT_EQ(covered[i], m_owned[i] ? 0 : 1) << "chunk " << i;
        ASSERT_EQ(CPacketManager::instance()->getFreeSize(), freeChunks * pool->chunkSize());
    }

private:
    std::vector<bool> m_owned;
};

TEST(PacketManagerPool, RandomAllocationsAndReleasesMatchAnIndependentModel)
{
    // 200 chunks = 128 + 64 + 8: seeding, buddies beyond the end and odd tails all play.
    configurePool(CPacketManager::policyPool, 200 * 1024);
    PacketManagerInternal* pool = PacketManagerInternal::instance();
    PoolModel model(pool->blockCount());
    std::vector<std::pair<void*, int>> live; // block, order
    std::mt19937 random(20240601);
    int failures = 0;
    for (int step = 0; step < 6000; ++step) {
        if (live.empty() || random() % 100 < 55) {
            const size_t request = 1 + random() % (70 * 1024);
            int order = 0;
            while ((size_t(1024) << order) < request)
                ++order;
            size_t real = 0;
            void* p = poolMalloc(request, &real);
            if (p == nullptr) {
                ++failures;
                ASSERT_FALSE(model.freeRunExists(order)) << "step " << step;
            } else {
                ASSERT_EQ(real, size_t(1024) << order);
                ASSERT_EQ(chunkIndexOf(p) % (1 << order), 0);
                model.mark(chunkIndexOf(p), order, true); // fails on overlapping blocks
                live.emplace_back(p, order);
            }
        } else {
            const size_t victim = random() % live.size();
            pool->m_free(live[victim].first);
            model.mark(chunkIndexOf(live[victim].first), live[victim].second, false);
            live[victim] = live.back();
            live.pop_back();
        }
        model.check(pool);
        if (HasFatalFailure())
            FAIL() << "after step " << step;
    }
    EXPECT_GT(failures, 0); // the sizes make the pool run full now and then
    for (const auto& block : live)
        pool->m_free(block.first);
    expectPoolWhole();
}

// The placement rules on chunk indices: LIFO lists per order, the lowest usable list, the
// top part kept on a split, merging with a free buddy on release.
class PlacementModel
{
public:
    PlacementModel(int blocks, int orders) : m_order(blocks, 0), m_lists(orders)
    {
        int start = 0;
        for (int j = orders - 1; j >= 0; --j) {
            if (blocks & (1 << j)) {
                m_order[start] = j + 1;
                m_lists[j].push_back(start);
                start += 1 << j;
            }
        }
    }

    int allocate(int k)
    {
        int j = k;
        while (j < int(m_lists.size()) && m_lists[j].empty())
            ++j;
        if (j == int(m_lists.size()))
            return -1;
        int s = m_lists[j].front();
        m_lists[j].erase(m_lists[j].begin());
        m_order[s] = 0;
        while (j > k) {
            --j;
            m_order[s] = j + 1;
            m_lists[j].insert(m_lists[j].begin(), s);
            s += 1 << j;
        }
        m_order[s] = -(k + 1);
        return s;
    }

    void release(int id)
    {
        int v = -m_order[id];
        m_order[id] = 0;
        while (v < int(m_lists.size())) {
            const int buddy = id ^ (1 << (v - 1));
            if (buddy >= int(m_order.size()) || m_order[buddy] != v)
                break;
            auto& list = m_lists[v - 1];
            list.erase(std::find(list.begin(), list.end(), buddy));
            m_order[buddy] = 0;
            id &= ~(1 << (v - 1));
            ++v;
        }
        m_order[id] = v;
        m_lists[v - 1].insert(m_lists[v - 1].begin(), id);
    }

    const std::vector<int>& list(int order) const { return m_lists[order]; }

private:
    std::vector<int> m_order;
    std::vector<std::vector<int>> m_lists;
};

// A release followed by a request of the same order is where the pool may skip the merge
// and the splits (when they would cancel out). Here every release is followed by such a
// request half of the time, the addresses are checked at every step, and the lists only
// every so often, so that the skipped work is observed through later placements first.
TEST(PacketManagerPool, ReleaseThenSameRequestPlacesAsTheRulesSay)
{
    configurePool(CPacketManager::policyPool, 200 * 1024);
    PacketManagerInternal* pool = PacketManagerInternal::instance();
    PlacementModel model(int(pool->blockCount()), pool->orderCount());
    std::vector<std::pair<void*, int>> live; // block, order
    std::mt19937 random(7);
    auto request = [&](int order, int step) {
        size_t size = (size_t(1024) << order) - random() % 1024;
        void* p = poolMalloc(size);
        const int expected = model.allocate(order);
        ASSERT_EQ(p == nullptr ? -1 : chunkIndexOf(p), expected) << "step " << step;
        if (p != nullptr)
            live.emplace_back(p, order);
    };
    for (int step = 0; step < 20000; ++step) {
        if (live.empty() || random() % 100 < 50) {
            request(int(random() % 6), step);
        } else {
            const size_t victim = random() % live.size();
            const auto block = live[victim];
            live[victim] = live.back();
            live.pop_back();
            pool->m_free(block.first);
            model.release(chunkIndexOf(block.first));
            if (random() % 2 == 0)
                request(block.second, step);
        }
        if (HasFatalFailure())
            return;
        if (step % 97 == 0) {
            for (int order = 0; order < pool->orderCount(); ++order)
                ASSERT_EQ(pool->freeListIndices(order), model.list(order)) << "step " << step;
        }
    }
    for (const auto& block : live)
        pool->m_free(block.first);
    expectPoolWhole();
}

// A packet's life in an idle pool: the block comes straight back on every round, yet the
// lists read afterwards are those of a pool with one block in use, or of a whole pool.
TEST(PacketManagerPool, RepeatedReleaseAndRequestLeavesTheListsAsTheRulesSay)
{
    configurePool(CPacketManager::policyPool);
    CPacketManager* manager = CPacketManager::instance();
    PacketManagerInternal* pool = PacketManagerInternal::instance();
    void* first = manager->malloc(100);
    for (int round = 0; round < 5; ++round) {
        manager->free(first);
        ASSERT_EQ(manager->malloc(100), first);
    }
    EXPECT_EQ(chunkIndexOf(first), 2047);
    for (int order = 0; order < 11; ++order)
        EXPECT_EQ(pool->freeListIndices(order), std::vector<int>{2048 - (2 << order)});
    EXPECT_EQ(pool->nodeOrder(2047), -1);
    manager->free(first);
    EXPECT_EQ(pool->nodeOrder(2047), 0);
    EXPECT_EQ(pool->freeListIndices(11), std::vector<int>{0});
    // A second block in use keeps its buddy from merging: releasing and requesting the first
    // again must still give the same chunk, and a different order must see the merge.
    void* a = manager->malloc(1); // 2047
    void* b = manager->malloc(1); // 2046
    manager->free(a);
    EXPECT_EQ(manager->malloc(1), a);
    manager->free(a);
    EXPECT_EQ(chunkIndexOf(manager->malloc(2048)), 2044); // a stays free in list 0
    EXPECT_EQ(pool->freeListIndices(0), std::vector<int>{2047});
    manager->free(b);
    EXPECT_EQ(chunkIndexOf(manager->malloc(1)), 2047); // b merged with a, split again
    EXPECT_EQ(pool->freeListIndices(0), std::vector<int>{2046});
}

// ---------------------------------------------------------------------------------------------
// Caller errors
// ---------------------------------------------------------------------------------------------

TEST(PacketManagerDeathTest, InvalidConfigurationIsRejected)
{
    EXPECT_DEATH(configurePool(CPacketManager::policyPool, 2048, 512),
                 "assertion \\(param->chunkSize >= 1024 && param->chunkSize > 0 && "
                 "param->totalSize % param->chunkSize == 0\\) failed");
    EXPECT_DEATH(configurePool(CPacketManager::policyPool, 3000, 1024),
                 "param->totalSize % param->chunkSize == 0\\) failed");
    EXPECT_DEATH(configurePool(CPacketManager::policyPool, 3 * 1536, 1536),
                 "assertion \\(\\(param->chunkSize & \\(param->chunkSize - 1\\)\\) == 0\\) failed");
    EXPECT_DEATH(configurePool(CPacketManager::policyPool, 8192, 1024, 2),
                 "assertion \\(param->alignSize >= 4\\) failed");
    EXPECT_DEATH(configurePool(CPacketManager::policyPool, size_t(1) << 32, 1024),
                 "assertion \\(param->totalSize <= 0xFFFFFFFFu\\) failed");
    EXPECT_DEATH(CPacketManager::config(static_cast<CPacketManager::Policy>(5), nullptr, nullptr),
                 "assertion \\(policy >= policyDefault && policy <= policyNone\\) failed");
    CPacketManager::MemoryOperator op = g_operator.bind();
    op.memcpy = Orlix::Infra::TFunction3<void*, void*, const void*, size_t>();
    EXPECT_DEATH(CPacketManager::config(CPacketManager::policySystem, &op, nullptr),
                 "assertion \\(!memop->malloc.empty\\(\\) && !memop->free.empty\\(\\) && "
                 "!memop->memcpy.empty\\(\\)\\) failed");
}

TEST(PacketManagerDeathTest, DoubleReleaseStops)
{
    configurePool(CPacketManager::policyPool);
    CPacketManager* manager = CPacketManager::instance();
    void* a = manager->malloc(1); // chunk 2047
    void* b = manager->malloc(1); // chunk 2046
    manager->free(b);             // free but unmerged: its buddy a is in use
    EXPECT_DEATH(manager->free(b), "assertion \\(order <= 0\\) failed.*already free");
    manager->free(a); // both merged back into the whole pool
    EXPECT_DEATH(manager->free(a), "assertion \\(order < 0\\) failed.*released twice");
    EXPECT_DEATH(manager->free(b), "released twice");
    expectPoolWhole();
}

TEST(PacketManagerDeathTest, ForeignAndInteriorPointersStop)
{
    configurePool(CPacketManager::policyPool, 64 * 1024);
    CPacketManager* manager = CPacketManager::instance();
    unsigned char* start = PacketManagerInternal::instance()->alignedBuffer();
    int local = 0;
    EXPECT_DEATH(manager->free(start - 1024), "assertion \\(id >= 0\\) failed.*below the pool");
    EXPECT_DEATH(manager->free(start + 64 * 1024),
                 "assertion \\(id < blockCount\\) failed.*beyond the end of the pool");
    const bool localBelow =
        reinterpret_cast<std::uintptr_t>(&local) < reinterpret_cast<std::uintptr_t>(start);
    EXPECT_DEATH(manager->free(&local), localBelow ? "Pool_Free: the pointer lies below"
                                                   : "Pool_Free: the pointer lies beyond");

    unsigned char* block = static_cast<unsigned char*>(manager->malloc(4096));
    EXPECT_DEATH(manager->free(block + 16),
                 "assertion \\(\\(offset & chunkMask\\) == 0\\) failed.*not on a chunk boundary");
    EXPECT_DEATH(manager->free(block + 1024),
                 "assertion \\(order < 0\\) failed.*not the start of an allocated block");
    manager->free(block);
    expectPoolWhole();
}

} // namespace
