// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

// The block workloads besides the division: what a worker publishes is what the checker
// computes, the multiply-adds stay in range, the memory is shared out as the machine allows, and
// a wrong compressed or decompressed byte changes the checksum.

#include "Processors.h"
#include "TAllKernel.h"
#include "TCompressKernel.h"
#include "TFmaKernel.h"
#include "THandoffKernel.h"
#include "TMatrixKernel.h"
#include "TMemoryKernel.h"
#include "TWorkload.h"

#include <QDir>
#include <QFile>
#include <QTest>

#include <algorithm>
#include <bit>
#include <chrono>
#include <csignal>
#include <memory>
#include <system_error>

#include <unistd.h>

namespace {

constexpr qint64 MiB = qint64{1} << 20;

// Flips one bit of what a block writes at its `point`-th fault point, in word `word` of it (-1:
// the last): each point once a block.
class TFlipOnce final : public TFaultHook {
public:
    TFlipOnce(int point, int word, int bit)
        : at(point), index(word), mask(std::uint64_t{1} << bit) {}
    std::int64_t Remainder(std::int64_t candidate, std::int64_t divisor,
                           std::int64_t) const noexcept override {
        return candidate % divisor;
    }
    std::int64_t NextDivisor(std::int64_t divisor, std::int64_t) const noexcept override {
        return divisor + 2;
    }
    void Chunk(std::int64_t, int, double*) const noexcept override {}
    void Written(std::int64_t, std::uint64_t* words, std::int64_t count) const noexcept override {
        if (calls++ == at) {
            words[index < 0 ? count + index : index] ^= mask;
        }
    }

private:
    int at;
    int index;
    std::uint64_t mask;
    mutable int calls = 0;
};

} // namespace

class TestWorkload : public QObject {
    Q_OBJECT
private slots:
    void noLibraryThreadOutlivesTheStart();
    void workersPublishComputedBlocks_data();
    void workersPublishComputedBlocks();
    void memoryIsSharedOut_data();
    void memoryIsSharedOut();
    void fmaFlipAlwaysChangesTheChecksum_data();
    void fmaFlipAlwaysChangesTheChecksum();
    void compressFlipChangesTheChecksum_data();
    void compressFlipChangesTheChecksum();
    void matrixProductIsExact();
    void workerRefusedItsProcessorIsNotStarted_data();
    void workerRefusedItsProcessorIsNotStarted();
    void memoryFindsAFlipInEveryPattern_data();
    void memoryFindsAFlipInEveryPattern();
    void handoffPartnersGoRound_data();
    void handoffPartnersGoRound();
    void handoffSkipsARefusedPartner();
};

// The BLAS library starts threads of its own as it is loaded, before main, with no signal
// blocked; they are gone before main. Run first: no worker has started, and every thread
// besides main and the test library's watchdog (a sanitizer's own, say) blocks the stop signals.
void TestWorkload::noLibraryThreadOutlivesTheStart() {
    // SIGHUP, SIGINT, SIGQUIT and SIGTERM in a mask of /proc's status: bit n - 1 for signal n.
    constexpr quint64 stops =
        (1u << (SIGHUP - 1)) | (1u << (SIGINT - 1)) | (1u << (SIGQUIT - 1)) | (1u << (SIGTERM - 1));
    QStringList others;
    const QDir tasks(QStringLiteral("/proc/self/task"));
    for (const QString& task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile comm(tasks.filePath(task + QStringLiteral("/comm")));
        QFile status(tasks.filePath(task + QStringLiteral("/status")));
        if (task.toInt() == getpid() || !comm.open(QIODevice::ReadOnly) ||
            comm.readAll() == "QtTest Watchdog\n" || !status.open(QIODevice::ReadOnly)) {
            continue;
        }
        quint64 blocked = 0;
        for (const QByteArray& line : status.readAll().split('\n')) {
            if (line.startsWith("SigBlk:")) {
                blocked = line.mid(7).trimmed().toULongLong(nullptr, 16);
            }
        }
        if ((blocked & stops) != stops) {
            others += task;
        }
    }
    QVERIFY2(others.isEmpty(), qPrintable(others.join(' ')));
}

void TestWorkload::workersPublishComputedBlocks_data() {
    QTest::addColumn<QByteArray>("kind");
    QTest::addColumn<int>("isa");
    QTest::addColumn<int>("blocks");
    // Every workload of the table, fma with each instruction set. Four blocks: a memory
    // buffer of two is written, then read back; every workload in turn goes round its parts
    // four times.
    for (const TWorkloadKind kind : Workloads::All()) {
        const int blocks = kind == &AllWorkload ? 4 * int(TAllKernel::Parts().size()) : 4;
        for (const TFmaIsa isa : {TFmaIsa::Plain, TFmaIsa::Avx2, TFmaIsa::Avx512}) {
            if (TFmaKernel::Supported(isa) && (kind == &FmaWorkload || isa == TFmaKernel::Best())) {
                QTest::addRow("%s %s", kind->Name,
                              kind == &FmaWorkload ? TFmaKernel::Name(isa) : "")
                    << QByteArray(kind->Name) << static_cast<int>(isa) << blocks;
            }
        }
    }
    // Every pattern of the memory read back once, and the first again.
    QTest::newRow("memory, every pattern")
        << QByteArray("memory") << 0 << int{2 * (TMemoryKernel::Families + 1)};
}

void TestWorkload::workersPublishComputedBlocks() {
    QFETCH(QByteArray, kind);
    QFETCH(int, isa);
    QFETCH(int, blocks);
    TWorkload workload;
    workload.Kind = *Workloads::Find(kind.constData());
    workload.Isa = static_cast<TFmaIsa>(isa);
    workload.MemoryBlocks = 2;
    const std::shared_ptr<TWorker> worker = workload.Factory()(0);
    QTRY_VERIFY_WITH_TIMEOUT(worker->Blocks()->Published() >= blocks, 600000);
    worker->RequestStop();
    QTRY_VERIFY_WITH_TIMEOUT(worker->Finished(), 600000);
    // Its count: the steps of the blocks it published and of part of the next.
    const std::int64_t published = worker->Blocks()->Published();
    QVERIFY(worker->StepCount() >= workload.StepsBefore(published));
    QVERIFY(worker->StepCount() < workload.StepsBefore(published + 1));
    const TBlockChecker::Compute compute = workload.Compute();
    for (std::int64_t block = 0; block < blocks; ++block) {
        TBlockResult result;
        QVERIFY(worker->Blocks()->Read(block, result));
        QCOMPARE(result.Checksum, compute(block));
    }
    QVERIFY(!worker->WordFault());

    if (workload.UsesFma()) {
        // However long it runs, every lane stays in [1, 2): no denormal, no overflow.
        alignas(64) double lanes[TFmaKernel::MaxLanes];
        const int count = TFmaKernel::Lanes(workload.Isa);
        TFmaKernel::StartLanes(7, lanes, count);
        TFmaKernel::RunChunk(workload.Isa, lanes, std::int64_t{1} << 24);
        QVERIFY(std::all_of(lanes, lanes + count, [](double x) { return x >= 1.0 && x < 2.0; }));
    }
}

void TestWorkload::memoryIsSharedOut_data() {
    QTest::addColumn<qint64>("total"); // -1: not given
    QTest::addColumn<int>("workers");
    QTest::addColumn<qint64>("available"); // -1: unknown
    QTest::addColumn<qint64>("cache");     // -1: unknown
    QTest::addColumn<qint64>("perWorker"); // MiB; -1: too little
    QTest::newRow("given, shared out in whole blocks") << 100 * MiB << 2 << -1LL << -1LL << 48LL;
    QTest::newRow("given, too little for each") << 31 * MiB << 2 << -1LL << -1LL << -1LL;
    QTest::newRow("half of the available") << -1LL << 4 << 8192 * MiB << 32 * MiB << 1024LL;
    QTest::newRow("four times the cache over half the available")
        << -1LL << 4 << 2048 * MiB << 80 * MiB << 320LL;
    QTest::newRow("not past three quarters of the available")
        << -1LL << 4 << 256 * MiB << 64 * MiB << 48LL;
    QTest::newRow("nothing known: one block") << -1LL << 15 << -1LL << -1LL << 16LL;
}

void TestWorkload::memoryIsSharedOut() {
    QFETCH(qint64, total);
    QFETCH(int, workers);
    QFETCH(qint64, available);
    QFETCH(qint64, cache);
    QFETCH(qint64, perWorker);
    TMemoryInfo info;
    if (available >= 0) {
        info.AvailableBytes = available;
    }
    if (cache >= 0) {
        info.LastLevelCacheBytes = cache;
    }
    const auto blocks = TWorkload::MemoryBlocksFor(
        total >= 0 ? std::optional<std::int64_t>(total) : std::nullopt, workers, info);
    QCOMPARE(blocks ? *blocks * TMemoryKernel::BlockBytes / MiB : -1, perWorker);
}

void TestWorkload::fmaFlipAlwaysChangesTheChecksum_data() {
    QTest::addColumn<int>("isa");
    QTest::addColumn<int>("chunks"); // from the flip to the block's end, the flip's included
    for (const TFmaIsa isa : {TFmaIsa::Plain, TFmaIsa::Avx2, TFmaIsa::Avx512}) {
        for (const int chunks : {1, 2, 64}) {
            if (TFmaKernel::Supported(isa)) {
                QTest::addRow("%s, %d", TFmaKernel::Name(isa), chunks) << int(isa) << chunks;
            }
        }
    }
}

// A bit flipped in any lane after one of a block's last chunks lives on in the chunks after it:
// the checksum differs, whichever the lane, the bit and the instruction set; so it does when
// the same bit flips in two lanes 64 apart, which one rotation alone would cancel.
void TestWorkload::fmaFlipAlwaysChangesTheChecksum() {
    QFETCH(int, isa);
    QFETCH(int, chunks);
    const auto set = static_cast<TFmaIsa>(isa);
    const int count = TFmaKernel::Lanes(set);
    const auto checksum = [&](int lane, int bit, int twin) { // lane, twin -1: no flip
        alignas(64) double lanes[TFmaKernel::MaxLanes];
        TFmaKernel::StartLanes(5, lanes, count);
        std::uint64_t sum = 0;
        for (int chunk = 0; chunk < chunks; ++chunk) {
            TFmaKernel::RunChunk(set, lanes, TFmaKernel::ChunkIterations);
            for (const int flipped : {lane, twin}) {
                if (chunk == 0 && flipped >= 0) {
                    lanes[flipped] = std::bit_cast<double>(
                        std::bit_cast<std::uint64_t>(lanes[flipped]) ^ std::uint64_t{1} << bit);
                }
            }
            sum = TFmaKernel::Fold(sum, lanes, count);
        }
        return sum;
    };
    const std::uint64_t right = checksum(-1, 0, -1);
    for (int lane = 0; lane < count; ++lane) {
        for (const int bit : {0, 1, 29, 51, 63}) {
            QVERIFY2(checksum(lane, bit, -1) != right,
                     qPrintable(QString("lane %1 bit %2").arg(lane).arg(bit)));
            QVERIFY2(lane + 64 >= count || checksum(lane, bit, lane + 64) != right,
                     qPrintable(QString("lanes %1, %2 bit %3").arg(lane).arg(lane + 64).arg(bit)));
        }
    }
}

void TestWorkload::compressFlipChangesTheChecksum_data() {
    QTest::addColumn<int>("point");
    QTest::addColumn<int>("word");
    // The fault points of a block, in turn: each library's stream, then what it decompressed.
    const char* const points[] = {"zlib stream", "zlib output", "zstd stream", "zstd output"};
    for (int point = 0; point < 4; ++point) {
        for (const int word : {0, 1, 100, -1}) {
            QTest::addRow("%s, word %d", points[point], word) << point << word;
        }
    }
}

// A flipped bit anywhere in a compressed stream (its header, its body, its end), or in what a
// library decompressed, changes the block's checksum: never a crash, never a hang.
void TestWorkload::compressFlipChangesTheChecksum() {
    QFETCH(int, point);
    QFETCH(int, word);
    struct TQuiet {
        bool Stop() const noexcept { return false; }
        void Add(std::int64_t) noexcept {}
    } progress;
    TCompressKernel kernel;
    const std::uint64_t right = kernel.ComputeBlock(3);
    for (const int bit : {0, 7, 42, 63}) {
        const auto flip = std::make_shared<const TFlipOnce>(point, word, bit);
        QVERIFY2(*kernel.Run(3, progress, THookMemoryFault{flip}) != right,
                 qPrintable(QString("bit %1").arg(bit)));
    }
    QCOMPARE(kernel.ComputeBlock(3), right);
}

void TestWorkload::workerRefusedItsProcessorIsNotStarted_data() {
    QTest::addColumn<QByteArray>("kind");
    QTest::newRow("divide") << QByteArray("divide");
    QTest::newRow("memory") << QByteArray("memory");
}

// A processor the system will not run the worker on (here one the machine does not have): the
// start fails, saying which, rather than a worker that runs elsewhere and is named after it.
void TestWorkload::workerRefusedItsProcessorIsNotStarted() {
    QFETCH(QByteArray, kind);
    TWorkload workload;
    workload.Kind = *Workloads::Find(kind.constData());
    workload.MemoryBlocks = 1;
    const int absent = 4000;
    try {
        workload.Factory({absent})(0);
        QFAIL("a worker started on a processor the machine does not have");
    } catch (const std::system_error& refused) {
        QVERIFY2(QByteArray(refused.what()).contains("cannot run a worker on processor 4000"),
                 refused.what());
    }
}

// Every element of a block's product is the exact sum of its products, whatever order the
// library adds them in: workers agree because the result is exact, not because they add alike.
void TestWorkload::matrixProductIsExact() {
    constexpr int n = TMatrixKernel::Size;
    TMatrixKernel kernel;
    for (const std::int64_t block : {0, 1, 4095, 123456789}) {
        const double* left = kernel.Pool() + TMatrixKernel::LeftPlace(block);
        const double* right = kernel.Pool() + TMatrixKernel::RightPlace(block);
        const std::uint64_t* product = kernel.Multiply(block);
        for (const int i : {0, 1, n / 2 + 3, n - 1}) {
            for (const int j : {0, 7, n - 1}) {
                std::int64_t exact = 0;
                for (int k = 0; k < n; ++k) {
                    exact += static_cast<std::int64_t>(left[i + k * n]) *
                             static_cast<std::int64_t>(right[k + j * n]);
                }
                QCOMPARE(std::bit_cast<double>(product[i + j * n]), static_cast<double>(exact));
            }
        }
    }
}

namespace {

struct TQuiet {
    std::optional<TWordFault> fault;
    bool Stop() const noexcept { return false; }
    void Add(std::int64_t) noexcept {}
    void Mismatch(const TWordFault& found) noexcept { fault = fault.value_or(found); }
};

// Flips bit `bit` of word `word` of block `block` once written.
struct TFlip {
    std::int64_t block;
    std::int64_t word;
    int bit;
    void Written(std::int64_t written, std::uint64_t* words, std::int64_t) const noexcept {
        if (written == block) {
            words[word] ^= std::uint64_t{1} << bit;
        }
    }
};

} // namespace

void TestWorkload::memoryFindsAFlipInEveryPattern_data() {
    QTest::addColumn<int>("pass");
    QTest::addColumn<int>("bit");
    for (int pass = 0; pass < TMemoryKernel::Families; ++pass) {
        QTest::addRow("pass %d", pass) << pass << pass * 13 % 64;
    }
}

// A bit flipped in what a pass wrote, whatever its pattern, is the next pass's word fault, named
// by its offset and bit, and its block's checksum differs from the computed one.
void TestWorkload::memoryFindsAFlipInEveryPattern() {
    QFETCH(int, pass);
    QFETCH(int, bit);
    TMemoryKernel kernel(1);
    TQuiet progress;
    const TFlip flip{pass, 12345, bit};
    for (std::int64_t block = 0; block < pass + 2; ++block) {
        const std::optional<std::uint64_t> checksum = kernel.Run(block, progress, flip);
        QCOMPARE(checksum != TMemoryKernel::ComputeBlock(block, 1), block == pass + 1);
    }
    QVERIFY(progress.fault);
    QCOMPARE(progress.fault->Offset, 12345 * 8);
    QCOMPARE(progress.fault->Bits, std::uint64_t{1} << bit);
}

void TestWorkload::handoffPartnersGoRound_data() {
    QTest::addColumn<int>("home");
    QTest::addColumn<QList<int>>("cpus");
    QTest::addColumn<QList<int>>("partners"); // of hand-offs 0, 1, 2...
    QTest::newRow("home among them") << 2 << QList<int>{0, 2, 5} << QList<int>{0, 5, 0, 5};
    QTest::newRow("home not among them") << 7 << QList<int>{0, 2, 5} << QList<int>{0, 2, 5, 0};
    QTest::newRow("alone") << 3 << QList<int>{3} << QList<int>{-1, -1};
}

void TestWorkload::handoffPartnersGoRound() {
    QFETCH(int, home);
    QFETCH(QList<int>, cpus);
    QFETCH(QList<int>, partners);
    const std::vector<int> usable(cpus.begin(), cpus.end());
    for (int handoff = 0; handoff < partners.size(); ++handoff) {
        QCOMPARE(THandoffKernel::Partner(usable, home, handoff), partners[handoff]);
    }
}

// A partner the system will not run the thread on (one the machine does not have) is skipped:
// the block is verified at home and right, and the real partners are still handed to.
void TestWorkload::handoffSkipsARefusedPartner() {
    std::vector<int> cpus = UsableCpuList();
    const bool alone = cpus.size() == 1;
    cpus.insert(cpus.begin(), 4000); // the first hand-off's partner
    THandoffKernel kernel(-1, cpus);
    TQuiet progress;
    QCOMPARE(kernel.Run(0, progress, TNoMemoryFault{}), THandoffKernel::ComputeBlock(0));
    QVERIFY(!progress.fault);
    QVERIFY(kernel.HandedOff() < THandoffKernel::BlockRounds);
    QVERIFY(alone || kernel.HandedOff() > 0);
}

QTEST_GUILESS_MAIN(TestWorkload)
#include "tst_workload.moc"
