#!/bin/sh
# The command-line tests use sox as an independent oracle. Installs it from
# Debian's packages when it is missing, so that a fresh machine or CI runs
# those tests instead of skipping them.
set -e
command -v sox >/dev/null 2>&1 && exit 0
export DEBIAN_FRONTEND=noninteractive
apt-get install -y --no-install-recommends sox >/dev/null 2>&1 ||
  { apt-get update >/dev/null && apt-get install -y --no-install-recommends sox >/dev/null; }
command -v sox >/dev/null 2>&1
