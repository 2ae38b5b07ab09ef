// The check of a project against its live OPC server and database: it connects as Run would (an OPC
// session with one inactive group per project group, the database connection of the root) and records
// nothing. The program's front ends (tagsink-run --check, the desktop program in Edit mode) only present
// what it finds.
//
// Findings, each for one object path (Manager.Group1.Item1):
//   errors   the OPC server cannot be reached; an item ID the server does not know or cannot read; a
//            canonical type that does not fit the FieldType (a text into a number type); the database
//            cannot be opened; a table, column, procedure or procedure parameter that does not exist; a
//            column type that does not fit (a text into a number column); an item of ftUnknown (or another
//            type that writes no value) with a column; an rtUpdate group without KeyField, or whose key
//            rows are missing
//   warnings a number into a narrower type (a fraction into an integer); a column named twice in one row
//            (only the first is written); a KeyFieldType that writes no key
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace tagsink {

class TServer;

enum class CheckSeverity { Error, Warning };

struct CheckFinding {
    CheckSeverity severity = CheckSeverity::Error;
    std::string path; // the object's name path, e.g. Manager.Group1.Item1
    std::string text;
};

struct CheckReport {
    std::vector<CheckFinding> findings;

    std::size_t Errors() const;
    std::size_t Warnings() const;
    bool Passed() const { return Errors() == 0; }
    /// "check passed: 3 groups, 12 items, no errors, 1 warning" or "check failed: 2 errors, 1 warning".
    std::string Summary(const TServer& root) const;
};

/// One line of a finding: "error: Manager.Group1.Item1: text" (or "warning: ...").
std::string FindingLine(const CheckFinding& finding);

/// Progress of a long check: the path of the object being checked.
using CheckProgress = std::function<void(const std::string& path)>;

/// Checks the project. Needs the toolkit initialised (QZDAC_Init) on the calling thread; uses the root's
/// database connection and closes it again. Never throws for what it finds; the run-time fields of the
/// project are left as they were.
CheckReport CheckProject(TServer& root, const CheckProgress& progress = {});

} // namespace tagsink
