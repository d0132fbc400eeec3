#include "history/history_database.h"

#include "base/exception.h"
#include "platform/safe_file.h"

#include <sqlite3.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int BusyTimeoutMs = 5000;

// The schema, one step per version of it: user_version counts the steps applied. A step is never changed once
// released; a change is a new step.
const char* const Migrations[] = {
    // 1: the versions of each item's page text. seq counts the item's versions from its first; base is the seq
    // of the full version this one was compressed against (NULL when it stands alone); size is the text's bytes.
    "CREATE TABLE versions("
    " row INTEGER PRIMARY KEY,"
    " item TEXT NOT NULL,"
    " seq INTEGER NOT NULL,"
    " check_time INTEGER NOT NULL,"
    " characters INTEGER NOT NULL,"
    " size INTEGER NOT NULL,"
    " base INTEGER,"
    " data BLOB NOT NULL,"
    " UNIQUE(item, seq));",
};
constexpr int SchemaVersion = static_cast<int>(std::size(Migrations));

bool isDamage(int code)
{
    const int primary = code & 0xff;
    return primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB;
}

// SQLite's own words, with the system's where a system call failed ("disk I/O error (No space left on device)").
std::string describe(sqlite3* db, int code)
{
    std::string text = db ? sqlite3_errmsg(db) : sqlite3_errstr(code);
    const int system = db ? sqlite3_system_errno(db) : 0;
    if (system != 0 && (code & 0xff) == SQLITE_IOERR)
        return text + " (" + std::strerror(system) + ")";
    // SQLite often no longer holds the system's error by the time it reports; the failing operation says most.
    struct Operation
    {
        int code;
        const char* words;
    };
    static const Operation operations[] = {
        { SQLITE_IOERR_WRITE, "writing failed; the disk may be full" },
        { SQLITE_IOERR_FSYNC, "the disk did not confirm a write" },
        { SQLITE_IOERR_TRUNCATE, "shortening the file failed" },
        { SQLITE_IOERR_READ, "reading failed" },
        { SQLITE_IOERR_SHORT_READ, "reading failed" },
        { SQLITE_IOERR_SHMSIZE, "the -shm file cannot grow; the disk may be full" },
    };
    for (const auto& operation : operations)
        if (operation.code == code)
            return text + " (" + operation.words + ")";
    return text;
}

[[noreturn]] void fail(sqlite3* db, int code)
{
    if (isDamage(code))
        throw THistoryDamaged();
    throw TException("The history file cannot be used: " + describe(db, code), code);
}

void execute(sqlite3* db, const char* sql)
{
    const int code = sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
    if (code != SQLITE_OK)
        fail(db, code);
}

void moveAside(const std::string& from, const std::string& to)
{
    if (std::rename(from.c_str(), to.c_str()) != 0 && errno != ENOENT)
        throw TException("The damaged history file cannot be moved aside: " + std::string(std::strerror(errno)), errno);
}

} // namespace

THistoryStatement::THistoryStatement(sqlite3* db, const char* sql)
    : m_db(db)
{
    const int code = sqlite3_prepare_v3(db, sql, -1, SQLITE_PREPARE_PERSISTENT, &m_statement, nullptr);
    if (code != SQLITE_OK)
        fail(db, code);
}

THistoryStatement::~THistoryStatement()
{
    sqlite3_finalize(m_statement);
}

THistoryStatement& THistoryStatement::bind(int index, std::string_view text)
{
    const int code = sqlite3_bind_text64(m_statement, index, text.data(), text.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
    if (code != SQLITE_OK)
        fail(m_db, code);
    return *this;
}

THistoryStatement& THistoryStatement::bindBlob(int index, std::string_view bytes)
{
    // Bound without a copy: the caller keeps the bytes until the statement has run.
    const int code = sqlite3_bind_blob64(m_statement, index, bytes.data(), bytes.size(), SQLITE_STATIC);
    if (code != SQLITE_OK)
        fail(m_db, code);
    return *this;
}

THistoryStatement& THistoryStatement::bind(int index, int64_t value)
{
    const int code = sqlite3_bind_int64(m_statement, index, value);
    if (code != SQLITE_OK)
        fail(m_db, code);
    return *this;
}

THistoryStatement& THistoryStatement::bindNull(int index)
{
    const int code = sqlite3_bind_null(m_statement, index);
    if (code != SQLITE_OK)
        fail(m_db, code);
    return *this;
}

bool THistoryStatement::step()
{
    const int code = sqlite3_step(m_statement);
    if (code == SQLITE_ROW)
        return true;
    if (code == SQLITE_DONE) {
        reset();
        return false;
    }
    // Described before the reset, which may take back SQLite's record of the system's error.
    const std::string cause = describe(m_db, code);
    reset();
    if (isDamage(code))
        throw THistoryDamaged();
    throw TException("The history file cannot be written or read: " + cause, code);
}

void THistoryStatement::run()
{
    while (step()) { }
}

int THistoryStatement::runQuietly()
{
    const int code = sqlite3_step(m_statement);
    reset();
    return code;
}

void THistoryStatement::reset()
{
    // The failure, if any, was reported by step already.
    sqlite3_reset(m_statement);
    sqlite3_clear_bindings(m_statement);
}

int64_t THistoryStatement::integer(int column) const
{
    return sqlite3_column_int64(m_statement, column);
}

bool THistoryStatement::isNull(int column) const
{
    return sqlite3_column_type(m_statement, column) == SQLITE_NULL;
}

std::string_view THistoryStatement::text(int column) const
{
    const auto* bytes = reinterpret_cast<const char*>(sqlite3_column_text(m_statement, column));
    return bytes ? std::string_view(bytes, sqlite3_column_bytes(m_statement, column)) : std::string_view();
}

std::string_view THistoryStatement::blob(int column) const
{
    const auto* bytes = static_cast<const char*>(sqlite3_column_blob(m_statement, column));
    return bytes ? std::string_view(bytes, sqlite3_column_bytes(m_statement, column)) : std::string_view();
}

THistoryDatabase::Statements::Statements(sqlite3* db)
    : begin(db, "BEGIN IMMEDIATE")
    , commit(db, "COMMIT")
    , rollback(db, "ROLLBACK")
    , newest(db, "SELECT seq, base, size, data FROM versions WHERE item = ?1 ORDER BY seq DESC LIMIT 1")
    , version(db, "SELECT base, size, data FROM versions WHERE item = ?1 AND seq = ?2")
    , listNewestFirst(db, "SELECT seq, check_time, characters FROM versions WHERE item = ?1 ORDER BY seq DESC LIMIT ?2")
    , insert(db,
          "INSERT INTO versions(item, seq, check_time, characters, size, base, data)"
          " VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7)")
    , trim(db,
          "DELETE FROM versions WHERE item = ?1 AND seq < ?2 AND seq NOT IN"
          " (SELECT base FROM versions WHERE item = ?1 AND seq >= ?2 AND base IS NOT NULL)")
    , removeItem(db, "DELETE FROM versions WHERE item = ?1")
    , items(db, "SELECT DISTINCT item FROM versions")
{
}

THistoryDatabase::THistoryDatabase(const std::string& folder)
    : m_path(folder + "/" + FileName)
{
    // A file size limit then fails a write with a cause instead of killing the program.
    ignoreFileSizeSignal();
    open();
}

THistoryDatabase::~THistoryDatabase()
{
    close();
}

void THistoryDatabase::open()
{
    try {
        openFile();
    } catch (const THistoryDamaged&) {
        replaceDamaged();
    }
}

void THistoryDatabase::replaceDamaged()
{
    close();
    const std::string aside = m_path + DamagedSuffix;
    moveAside(m_path, aside);
    moveAside(m_path + "-wal", aside + "-wal");
    moveAside(m_path + "-shm", aside + "-shm");
    m_damaged = true;
    try {
        openFile();
    } catch (const THistoryDamaged&) {
        close();
        throw TException("The history file is damaged and a new one cannot be begun");
    }
}

void THistoryDatabase::openFile()
{
    // Created here, readable by its owner only: SQLite gives its -wal and -shm files the same mode.
    const int fd = ::open(m_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        const int error = errno;
        throw TException("The history file " + m_path + " cannot be opened: " + std::strerror(error), error);
    }
    struct stat st
    {
    };
    if (::fstat(fd, &st) == 0 && (st.st_mode & 077) != 0)
        ::fchmod(fd, st.st_mode & 0700);
    ::close(fd);

    const int code = sqlite3_open_v2(
        m_path.c_str(), &m_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_EXRESCODE, nullptr);
    if (code != SQLITE_OK) {
        const std::string cause = describe(m_db, code);
        close();
        if (isDamage(code))
            throw THistoryDamaged();
        throw TException("The history file " + m_path + " cannot be opened: " + cause, code);
    }
    try {
        sqlite3_extended_result_codes(m_db, 1);
        sqlite3_busy_timeout(m_db, BusyTimeoutMs);
        // WAL with synchronous=NORMAL: a killed process loses nothing that was committed and never damages the
        // file; a power loss may take back the commits since the last checkpoint (at most about 4 MB of WAL, the
        // automatic checkpoint's size), never the file's consistency.
        execute(m_db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;");
        migrate();
        m_statements = std::make_unique<Statements>(m_db);
    } catch (...) {
        close();
        throw;
    }
}

void THistoryDatabase::migrate()
{
    sqlite3_stmt* query = nullptr;
    int code = sqlite3_prepare_v2(m_db, "PRAGMA user_version", -1, &query, nullptr);
    if (code != SQLITE_OK)
        fail(m_db, code);
    code = sqlite3_step(query);
    const int version = code == SQLITE_ROW ? sqlite3_column_int(query, 0) : 0;
    sqlite3_finalize(query);
    if (code != SQLITE_ROW)
        fail(m_db, code);
    if (version > SchemaVersion)
        throw TException("The history file " + m_path + " was written by a newer version of the program");
    for (int step = version; step < SchemaVersion; ++step) {
        execute(m_db, "BEGIN IMMEDIATE");
        try {
            execute(m_db, Migrations[step]);
            execute(m_db, ("PRAGMA user_version = " + std::to_string(step + 1)).c_str());
            execute(m_db, "COMMIT");
        } catch (...) {
            sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
            throw;
        }
    }
}

THistoryDatabase::Statements& THistoryDatabase::statements()
{
    if (!m_statements)
        throw TException("The history file " + m_path + " is not open");
    return *m_statements;
}

void THistoryDatabase::resetStatements()
{
    if (!m_statements)
        return;
    Statements& s = *m_statements;
    for (THistoryStatement* statement : { &s.begin, &s.commit, &s.rollback, &s.newest, &s.version, &s.listNewestFirst,
             &s.insert, &s.trim, &s.removeItem, &s.items })
        statement->reset();
}

void THistoryDatabase::rollbackQuietly()
{
    resetStatements();
    // A failed write may have rolled back already; nothing more can be done about a failing rollback.
    if (m_statements && sqlite3_get_autocommit(m_db) == 0)
        m_statements->rollback.runQuietly();
}

void THistoryDatabase::close()
{
    m_statements.reset();
    if (m_db) {
        sqlite3_close_v2(m_db);
        m_db = nullptr;
    }
}
