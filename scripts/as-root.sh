#!/usr/bin/env bash
# Runs one command as root, for the steps that need it (private namespaces): directly when root
# already, else through sudo with the environment kept but for HOME (root's, so that nothing
# root-owned lands in the user's home). What the command leaves in FOLDER is then given back to
# the user, so that the user's next build may change and remove it.
#   scripts/as-root.sh [--give-back FOLDER] COMMAND [ARGUMENT]...
set -euo pipefail
folder=
if [ "${1:-}" = --give-back ]; then
    folder=$2
    shift 2
fi
if [ "$(id -u)" -eq 0 ]; then
    exec "$@"
fi
status=0
sudo --preserve-env --set-home -- "$@" || status=$?
if [ -n "$folder" ]; then
    sudo chown -R --from=0 "$(id -u):$(id -g)" "$folder"
fi
exit "$status"
