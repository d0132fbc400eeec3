#pragma once

#include <cstdint>
#include <exception>
#include <memory>
#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

// Raised for a store that SQLite reports damaged, so that its owner can set it aside and begin a new one.
class THistoryDamaged : public std::exception
{
public:
    const char* what() const noexcept override { return "The history file is damaged"; }
};

// One prepared statement of the history's connection: bind, step, read columns, reset.
class THistoryStatement
{
public:
    THistoryStatement(sqlite3* db, const char* sql);
    ~THistoryStatement();
    THistoryStatement(const THistoryStatement&) = delete;
    THistoryStatement& operator=(const THistoryStatement&) = delete;

    THistoryStatement& bind(int index, std::string_view text);
    THistoryStatement& bindBlob(int index, std::string_view bytes);
    THistoryStatement& bind(int index, int64_t value);
    THistoryStatement& bindNull(int index);
    // True while there is a row; raises THistoryDamaged or TException on failure. Reset after the last row.
    bool step();
    void run(); // a statement without rows
    // For a rollback after a failure: runs it and returns SQLite's code, never raising.
    int runQuietly();
    void reset();

    int64_t integer(int column) const;
    bool isNull(int column) const;
    std::string_view text(int column) const;
    std::string_view blob(int column) const;

private:
    sqlite3* m_db = nullptr;
    sqlite3_stmt* m_statement = nullptr;
};

// The connection to vantrel-history.sqlite: the only place that opens it, sets it up and knows its schema.
// A file SQLite finds damaged on open is moved aside as .damaged and a new one begun (see wasDamaged).
class THistoryDatabase
{
public:
    static constexpr const char* FileName = "vantrel-history.sqlite";
    static constexpr const char* DamagedSuffix = ".damaged";

    explicit THistoryDatabase(const std::string& folder);
    ~THistoryDatabase();
    THistoryDatabase(const THistoryDatabase&) = delete;
    THistoryDatabase& operator=(const THistoryDatabase&) = delete;

    const std::string& path() const { return m_path; }
    bool wasDamaged() const { return m_damaged; }
    // Closes the damaged file, moves it aside and opens a new one in its place.
    void replaceDamaged();

    // Every statement of the history, prepared once per connection.
    struct Statements
    {
        explicit Statements(sqlite3* db);
        THistoryStatement begin, commit, rollback;
        THistoryStatement newest; // item -> seq, base, size, data of the newest version
        THistoryStatement version; // item, seq -> base, size, data
        THistoryStatement listNewestFirst; // item, limit -> seq, check_time, characters
        THistoryStatement insert; // item, seq, check_time, characters, size, base, data
        THistoryStatement trim; // item, lowest kept seq: drops older versions no kept one is compressed against
        THistoryStatement removeItem; // item
        THistoryStatement items; // -> every item
    };
    // Raises TException when a failed replacement left no file open.
    Statements& statements();
    // Leaves every statement ready for a new use, as after a failure half-way through reading rows.
    void resetStatements();

    // Runs `body` in one write transaction, rolled back when it throws.
    template <class Body>
    void write(Body&& body)
    {
        statements().begin.run();
        try {
            body();
            statements().commit.run();
        } catch (...) {
            rollbackQuietly();
            throw;
        }
    }

private:
    void open();
    void openFile();
    void migrate();
    void close();
    void rollbackQuietly();

    std::string m_path;
    sqlite3* m_db = nullptr;
    std::unique_ptr<Statements> m_statements;
    bool m_damaged = false;
};
