#!/bin/sh
# scripts/run-ctest.sh against a small CTest project of its own: a failure fails the
# run, only a test that printed nothing and ended within a second runs again, and a
# run that finds no test fails. Each test here fails on its first run and passes on
# its second.
# Usage: run-ctest-test.sh SOURCE-ROOT WORK-DIR
set -eu
root=$1
work=$2
rm -rf "$work"
mkdir -p "$work/project"
cat >"$work/project/CMakeLists.txt" <<'CMAKE'
cmake_minimum_required(VERSION 3.20)
project(RunCtestCheck NONE)
enable_testing()
# Fails the first time: silent or printing, at once or after more than a second.
function(flaky name marker script)
  add_test(NAME ${name} COMMAND sh -c
           "if [ -e ${marker}.ran ]; then echo passed; else touch ${marker}.ran; ${script} exit 1; fi")
endfunction()
flaky(Silent/0 silent "")
flaky(Prints prints "echo failed;")
flaky(SilentSlow slow "sleep 1.2;")
CMAKE
cmake -S "$work/project" -B "$work/build" >/dev/null

fails=0
# case: tests to run | expected exit (0 or non-zero) | expected retry count
while IFS=';' read -r tests expected retried; do
  rm -f "$work"/build/*.ran
  status=0
  sh "$root/scripts/run-ctest.sh" "$work/build" -R "$tests" >"$work/out" 2>&1 || status=$?
  outcome=non-zero
  [ "$status" -eq 0 ] && outcome=0
  if [ "$outcome" != "$expected" ] ||
     ! grep -q "^$retried tests retried after a silent Wine start-up failure$" "$work/out"; then
    echo "FAIL [$tests]: exit $status (expected $expected), expected $retried retried:"
    cat "$work/out"
    fails=1
  fi
done <<'CASES'
^Silent/0$;0;1
^Prints$;non-zero;0
^SilentSlow$;non-zero;0
^(Silent/0|Prints)$;non-zero;1
^NoSuchTest$;non-zero;0
CASES
exit "$fails"
