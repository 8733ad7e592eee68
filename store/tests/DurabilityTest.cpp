// A row that an operation reported as written survives the writer being killed at any moment:
// a child process adds, modifies and deletes file-table rows, confirming each, and is killed
// with SIGKILL after a random number of operations; the table is then read back and must hold
// every confirmed operation (the one in flight may or may not have landed) and pass SQLite's
// integrity check. Meanwhile this process reads the same file, as the desktop client does,
// and must never be refused with "database is locked".

#include <signal.h>
#include <spawn.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <random>
#include <string>

#include "store/tablestore/TSyncFile.h"
#include "store/tests/StoreTestSupport.h"

extern char** environ;

namespace {

using Rows = std::map<int, std::string>;  // id -> MD5 text

struct Op {
    char what;
    int id;
};

// The writer's fixed sequence: A id, M id, (D id-1 when id % 3 == 0), A id+1, ...
Op NextOp(const Op& last, int start) {
    switch (last.what) {
        case 'R':
            return {'A', start};
        case 'A':
            return {'M', last.id};
        case 'M':
            return last.id % 3 == 0 ? Op{'D', last.id - 1} : Op{'A', last.id + 1};
        default:
            return {'A', last.id + 2};
    }
}

void Apply(Rows& rows, const Op& op) {
    if (op.what == 'A') {
        rows[op.id] = "added";
    } else if (op.what == 'M') {
        rows[op.id] = "modified";
    } else if (op.what == 'D') {
        rows.erase(op.id);
    }
}

class Writer {
  public:
    explicit Writer(int start) {
        int fds[2];
        EXPECT_EQ(pipe(fds), 0);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, fds[0]);
        std::string startText = std::to_string(start);
        char* argv[] = {const_cast<char*>(STORE_DURABILITY_WRITER),
                        const_cast<char*>(store_test::kAccount), startText.data(), nullptr};
        EXPECT_EQ(posix_spawn(&m_pid, STORE_DURABILITY_WRITER, &actions, nullptr, argv, environ),
                  0);
        posix_spawn_file_actions_destroy(&actions);
        close(fds[1]);
        m_out = fdopen(fds[0], "r");
    }
    ~Writer() {
        kill(m_pid, SIGKILL);
        int status = 0;
        waitpid(m_pid, &status, 0);
        std::fclose(m_out);
    }
    Writer(const Writer&) = delete;
    Writer& operator=(const Writer&) = delete;

    // The next confirmed operation; false at the end of the output.
    bool Next(Op& op) {
        char line[64];
        if (std::fgets(line, sizeof line, m_out) == nullptr) {
            return false;
        }
        return std::sscanf(line, "%c %d", &op.what, &op.id) == 2 && op.what != 'E';
    }
    void Kill() { kill(m_pid, SIGKILL); }

  private:
    pid_t m_pid = 0;
    std::FILE* m_out = nullptr;
};

class DurabilityTest : public store_test::StoreTest {
  protected:
    static Rows StoredRows() {
        Rows rows;
        for (const TSyncFile& file : StoredFiles()) {
            EXPECT_TRUE(rows.emplace(file.iId, file.strMD5).second) << "id twice: " << file.iId;
        }
        return rows;
    }

    std::string IntegrityCheck() {
        sqlite3* db = nullptr;
        const auto path = (AccountDir() / "syncFile.db").string();
        sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
        sqlite3_stmt* stmt = nullptr;
        sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &stmt, nullptr);
        std::string result = sqlite3_step(stmt) == SQLITE_ROW
                                 ? reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0))
                                 : sqlite3_errmsg(db);
        sqlite3_finalize(stmt);
        sqlite3_close(db);
        return result;
    }
};

TEST_F(DurabilityTest, ConfirmedRowsSurviveKillNine) {
    std::mt19937 random(20240229);
    Rows model;
    int start = 1;
    for (int round = 0; round < 12; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        const int killAfter = std::uniform_int_distribution<int>(20, 400)(random);
        Op last{'?', 0};
        {
            Writer writer(start);
            int confirmed = 0;
            Op op;
            while (confirmed < killAfter && writer.Next(op)) {
                Apply(model, op);
                last = op;
                if (++confirmed % 25 == 0) {
                    StoredRows();  // a reader beside the writer
                }
            }
            ASSERT_EQ(confirmed, killAfter) << "the writer stopped on its own";
            writer.Kill();
            // What it confirmed before it died, still in the pipe.
            while (writer.Next(op)) {
                Apply(model, op);
                last = op;
            }
        }
        const Op inFlight = NextOp(last, start);
        Rows withInFlight = model;
        Apply(withInFlight, inFlight);
        const Rows stored = StoredRows();
        ASSERT_TRUE(stored == model || stored == withInFlight)
            << "after " << last.what << " " << last.id << ": " << stored.size() << " rows, "
            << model.size() << " confirmed";
        EXPECT_EQ(IntegrityCheck(), "ok");
        model = stored;
        start = std::max(last.id, inFlight.id) + 1;  // past any id the lost operation used
    }
}

}  // namespace
