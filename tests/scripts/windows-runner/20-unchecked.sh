# unchecked: a failing command whose status nobody looks at still ends the stage, and the line after it
# never runs.
stage_unchecked() {
  false
  echo "unchecked: NOT REACHED"
}
