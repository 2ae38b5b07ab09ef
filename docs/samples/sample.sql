-- The tables of the sample project (sample.DAT), in the SQLite file sample.db.
create table if not exists Readings (
  Id integer primary key autoincrement,
  DT text,       -- the time of the snapshot
  Sine real,     -- Sine.Real8
  Ramp integer,  -- Ramp.Int4
  Word text,     -- Text.Words
  Flag text      -- Toggle.Boolean
);
create table if not exists Events (
  Id integer primary key autoincrement,
  Tag text,      -- the key of the item that changed: counter or random
  DT text,       -- the server's time stamp of the value
  Value real
);
