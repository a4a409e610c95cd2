// The quarter turn inside a picture's own memory (RotateQuarterInPlace in pixel_operations.h): a
// transpose done as three passes that each stay inside one column or one row, split over the
// machine's cores.
#include "imaging/pixel_operations.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <numeric>
#include <system_error>
#include <thread>
#include <vector>

namespace {

// Columns moved together by the column passes: four cache lines of each row (measured
// best against one and eight).
constexpr int columnBatch = 64;

// The passes of a turn split over the machine's cores, each part with scratch memory of its
// own. All of it is allocated before any pixel moves, so that a turn runs whole or not at
// all; a part whose thread cannot start runs on the calling thread.
class TurnWorkers
{
public:
    TurnWorkers(int m, int n)
    {
        const std::size_t pixels = static_cast<std::size_t>(m) * static_cast<std::size_t>(n);
        const std::size_t scratchSize
            = std::max(static_cast<std::size_t>(m) * static_cast<std::size_t>(columnBatch),
                       static_cast<std::size_t>(n));
        std::size_t parts = 1;
        if (pixels >= parallelPixels) {
            // More parts only while their scratch stays small beside the picture.
            parts = std::clamp<std::size_t>(std::thread::hardware_concurrency(), 1, maxParts);
            parts = std::min(parts, 1 + pixels / 16 / scratchSize);
        }
        scratch.assign(parts, std::vector<std::uint32_t>(scratchSize));
        threads.reserve(parts - 1);
    }

    // work(first, last, scratch) for parts of [0, count), all done when this returns.
    template<typename Work> void Run(int count, const Work& work)
    {
        const auto parts = static_cast<std::int64_t>(scratch.size());
        const auto bound = [&](std::int64_t p) {
            return static_cast<int>(count * p / parts);
        };
        for (std::int64_t p = 1; p < parts; ++p) {
            auto& own = scratch[static_cast<std::size_t>(p)];
            const int first = bound(p);
            const int last = bound(p + 1);
            try {
                threads.emplace_back([&work, &own, first, last] { work(first, last, own); });
            } catch (const std::system_error&) {
                work(first, last, own);
            }
        }
        work(0, bound(1), scratch[0]);
        for (std::thread& thread : threads)
            thread.join();
        threads.clear();
    }

private:
    // Below a megapixel starting threads costs more than it saves.
    static constexpr std::size_t parallelPixels = std::size_t {1} << 20;
    static constexpr std::size_t maxParts = 8;

    std::vector<std::vector<std::uint32_t>> scratch;
    std::vector<std::thread> threads; // reserved at once, so that starting one never allocates
};

// A column pass: for each column j, new[i] = old[from(j, i)] with from a permutation of the
// m rows. Columns go in batches through scratch (the batch's part of every row, one row of
// columnBatch pixels after another), so that every row is read and written a cache line at a
// time; rows.Fill writes the batch's part of new row 0, 1, ... from scratch. Each part works
// on a copy of rows, which allocates nothing.
template<typename Rows>
void permuteColumns(std::uint32_t* a, int m, int n, TurnWorkers& workers, const Rows& rows)
{
    const auto height = static_cast<std::size_t>(m);
    const int batches = (n + columnBatch - 1) / columnBatch;
    workers.Run(batches, [&](int firstBatch, int lastBatch, std::vector<std::uint32_t>& scratch) {
        Rows own = rows;
        for (int first = firstBatch * columnBatch; first < std::min(n, lastBatch * columnBatch);
             first += columnBatch) {
            const int count = std::min(columnBatch, n - first);
            for (std::size_t i = 0; i < height; ++i)
                std::memcpy(&scratch[i * columnBatch], a + i * static_cast<std::size_t>(n) + first,
                            4 * static_cast<std::size_t>(count));
            own.StartBatch(first, count);
            for (std::size_t i = 0; i < height; ++i)
                own.Fill(static_cast<int>(i), a + i * static_cast<std::size_t>(n) + first,
                         scratch.data());
        }
    });
}

} // namespace

void RotateQuarterInPlace(std::uint32_t* a, int width, int height, bool clockwise)
{
    // A transpose of the m x n matrix of rows, done as column, row and column permutations
    // that each stay inside one column or one row (the decomposition of in-place transposition
    // into row and column shuffles). Clockwise turns the rows upside down first, counter-
    // clockwise mirrors each row first; both are folded into the first two passes.
    const int m = height;
    const int n = width;
    if (m <= 0 || n <= 0)
        return;
    const int c = std::gcd(m, n);
    const int b = n / c;
    // k[j]: how far column j is rotated down before the row pass, j / b.
    std::vector<int> k(static_cast<std::size_t>(n));
    for (int j = 0; j < n; ++j)
        k[static_cast<std::size_t>(j)] = j / b;
    TurnWorkers workers(m, n);

    // Pass 1: column j rotated down by k[j] (for a clockwise turn, of the rows upside down):
    // element (i, j) goes to row (i + k[j]) mod m. Counter-clockwise, pass 2 mirrors each
    // row, so the column that lands on j after the mirror, n - 1 - j, takes j's amount.
    // Columns sharing an amount form runs, each copied from one scratch row.
    struct RotateDown
    {
        struct Run
        {
            int first;
            int end;
            int amount;
        };
        const std::vector<int>& amount;
        int m;
        bool flip;
        std::array<Run, columnBatch> runs {};
        int runCount = 0;
        void StartBatch(int start, int count)
        {
            runCount = 0;
            for (int g = 0; g < count; ++g) {
                const int a = amount[static_cast<std::size_t>(start + g)];
                if (runCount > 0 && runs[static_cast<std::size_t>(runCount - 1)].amount == a)
                    ++runs[static_cast<std::size_t>(runCount - 1)].end;
                else
                    runs[static_cast<std::size_t>(runCount++)] = {g, g + 1, a};
            }
        }
        // New row i takes old row (i - amount) mod m, counted from the bottom when flipped.
        void Fill(int i, std::uint32_t* row, const std::uint32_t* scratch) const
        {
            for (int r = 0; r < runCount; ++r) {
                const Run& run = runs[static_cast<std::size_t>(r)];
                int source = i - run.amount; // an amount is below c, so below m
                if (source < 0)
                    source += m;
                if (flip)
                    source = m - 1 - source;
                const std::uint32_t* from
                    = scratch + static_cast<std::size_t>(source) * columnBatch;
                std::copy(from + run.first, from + run.end, row + run.first);
            }
        }
    };
    if (c > 1 || clockwise) {
        std::vector<int> amount(k);
        if (!clockwise)
            std::reverse(amount.begin(), amount.end());
        permuteColumns(a, m, n, workers, RotateDown {amount, m, clockwise});
    }

    // Pass 2: in row i', the element of column j (from original row i = (i' - k[j]) mod m)
    // goes to column (j m + i) mod n; counter-clockwise reads the row mirrored.
    const int mModN = m % n;
    workers.Run(m, [&](int firstRow, int lastRow, std::vector<std::uint32_t>& scratch) {
        for (int ip = firstRow; ip < lastRow; ++ip) {
            std::uint32_t* row = a + static_cast<std::size_t>(ip) * static_cast<std::size_t>(n);
            if (clockwise)
                std::memcpy(scratch.data(), row, 4 * static_cast<std::size_t>(n));
            else
                std::reverse_copy(row, row + n, scratch.begin());
            int jm = 0; // j m mod n
            int block = -1;
            int iModN = 0;
            for (int j = 0; j < n; ++j) {
                const int kj = k[static_cast<std::size_t>(j)];
                if (kj != block) {
                    block = kj;
                    int i = ip - kj;
                    if (i < 0)
                        i += m;
                    iModN = i % n;
                }
                int d = jm + iModN;
                if (d >= n)
                    d -= n;
                row[d] = scratch[static_cast<std::size_t>(j)];
                jm += mModN;
                if (jm >= n)
                    jm -= n;
            }
        }
    });

    // Pass 3: column c gathers its final rows: final position q = r n + c holds original
    // element (q mod m, q div m), which pass 2 left in row (q mod m + k[q div m]) mod m. Along
    // a row of the batch q grows by one, so the rows read step down the scratch one at a time
    // until q mod m wraps to a new block of k.
    struct Gather
    {
        const std::vector<int>& k;
        int m;
        // From one row to the next q grows by n: n mod m, carried into n div m.
        int rowStep;
        int blockStep;
        int count = 0;
        int qMod = 0; // q mod m and q div m at the batch's first column, this row
        int qDiv = 0;
        void StartBatch(int start, int batchCount)
        {
            count = batchCount;
            qMod = start % m;
            qDiv = start / m;
        }
        void Fill(int, std::uint32_t* row, const std::uint32_t* scratch)
        {
            int mod = qMod;
            int div = qDiv;
            for (int g = 0; g < count;) {
                const int end = std::min(count, g + (m - mod));
                int source = mod + k[static_cast<std::size_t>(div)];
                if (source >= m)
                    source -= m;
                std::size_t at
                    = static_cast<std::size_t>(source) * columnBatch + static_cast<std::size_t>(g);
                for (; g < end; ++g) {
                    row[g] = scratch[at];
                    at += columnBatch + 1;
                    if (++source == m) {
                        source = 0;
                        at -= static_cast<std::size_t>(m) * columnBatch;
                    }
                }
                mod = 0;
                ++div;
            }
            qMod += rowStep;
            qDiv += blockStep;
            if (qMod >= m) {
                qMod -= m;
                ++qDiv;
            }
        }
    };
    permuteColumns(a, m, n, workers, Gather {k, m, n % m, n / m});
}
