# skips: a stage whose tool is missing passes and says so.
stage_skips() {
  skip "no such tool here"
}
