# substitution: a command that fails inside $(...) and in the middle of a pipeline ends the stage.
stage_substitution() {
  local rows
  rows=$(sqlite3 /nonexistent/folder/x.db 'select 1' 2>/dev/null | tr -d '\r')
  echo "substitution: NOT REACHED ($rows)"
}
