// tagsink-make-sample FILE.DAT: writes the sample project that scripts/run.sh records with.
//
// The project reads the simulated OPC DA 2.0 server and writes into an SQLite file "sample.db" in the
// current directory (see docs/samples/README.md for its groups, items and tables).
//
// Exit status: 0 when the file is written (or for --help), 1 for a bad command line or a file that cannot
// be written. Anything that starts with "-" is an option, never a file name.
#include "model/group.hpp"
#include "model/item.hpp"
#include "model/server.hpp"
#include "platform/path_text.hpp"
#include "program_arguments.hpp"
#include "version_flag.hpp"

#include <CLI/CLI.hpp>

#include <cstdio>
#include <exception>
#include <string>

using namespace tagsink;

int main(int argc, char** argv) {
    CLI::App app{"Writes the sample project: the simulated OPC DA 2.0 server recorded into the SQLite file "
                 "sample.db of the current directory."};
    std::string project_file;
    app.add_option("FILE.DAT", project_file, "the project file to write (replaced if it exists)")->required();
    AddVersionFlag(app, "tagsink-make-sample");
    tagsink::Utf8Console console;
    tagsink::ProgramArguments arguments(argc, argv); // UTF-8: on Windows from the wide command line
    try {
        app.parse(arguments.argc(), arguments.argv());
    } catch (const CLI::ParseError& error) {
        int code = app.exit(error); // prints the help, or the problem and a hint
        return code == 0 ? 0 : 1;
    }
    try {
        TServer root;
        root.SetOPCString("/Tagsink.SimServer.DA2/");
        root.SetDBString("Driver={SQLite3};Database=sample.db;Timeout=5000;JournalMode=WAL;");

        // Every second one row with the current values of four signals.
        TGroup& snapshot = TGroup::Create(root);
        snapshot.SetName("Snapshot");
        snapshot.SetTableName("Readings");
        snapshot.SetTimeField("DT");
        snapshot.SetRecordInterval(1000);
        snapshot.SetUpdateRate(250);
        TItem::Create(snapshot, "Sine", "Sine.Real8", "Sine", TFieldType::ftFloat);
        TItem::Create(snapshot, "Ramp", "Ramp.Int4", "Ramp", TFieldType::ftInteger);
        TItem::Create(snapshot, "Word", "Text.Words", "Word", TFieldType::ftString);
        TItem::Create(snapshot, "Flag", "Toggle.Boolean", "Flag", TFieldType::ftBoolean);

        // One row per change of a keyed item, stamped with the server's time of the value.
        TGroup& changes = TGroup::Create(root);
        changes.SetName("Changes");
        changes.SetTableName("Events");
        changes.SetTrigType(TTrigType::ttDataChange);
        changes.SetKeyField("Tag");
        changes.SetKeyFieldType(TFieldType::ftString);
        changes.SetTimeField("DT");
        changes.SetTimeFieldType(TFieldType::ftDateTime);
        changes.SetUpdateRate(500);
        TItem::Create(changes, "Counter", "Counter.Int4", "Value", TFieldType::ftFloat, "counter");
        TItem::Create(changes, "Random", "Random.Real8", "Value", TFieldType::ftFloat, "random");

        root.SaveToFile(qz::Utf8Path(project_file));
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    return 0;
}
