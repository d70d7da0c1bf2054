#!/bin/sh
# Runs a cross-built Windows test under Wine with a private, quiet prefix.
: "${WINEPREFIX:=${HOME:-/tmp}/.hammerlyn2-wine}"
export WINEPREFIX
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
exec wine "$@"
