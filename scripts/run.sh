#!/usr/bin/env bash
# The main job: for now, shows the staging tree a conversion starts from.
set -euo pipefail
cd "$(dirname "$0")/.."
echo "Quillmark is built in build/bin. The converter arrives with the command-line front end."
ls build/bin
