#!/usr/bin/env bash
# Stryker's mutants of the page's core module (web/page/core.mjs), each run against the web
# suite's core test, which compares the module with the native build. Needs the native and web
# presets built. Not part of the test command: run it after changing the module or its test
# (docs/development.md).
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
native=$root/build/native
cd "$root"
export VKD_CORE_WASM=$root/build/web/web/vkd37-core.wasm VKD_CORE_REFERENCE=$native/tests/core_reference \
    VKD_DOC_FACTS=$native/tests/doc_facts VKD_SIMULATOR=$native/sim/vkd37-sim VKD_TOOL=$native/cli/vkd37
exec tests/web/node_modules/.bin/stryker run scripts/stryker.config.json "$@"
