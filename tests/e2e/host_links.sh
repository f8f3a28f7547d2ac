#!/usr/bin/env bash
# Runs a test under Wine and makes the host symbolic links it asks for, which Wine cannot make
# (its CreateSymbolicLinkW succeeds and makes nothing):
#   host_links.sh WINE_RUN PREFIX TEST.exe ARGUMENT...
# The test writes C:\qtv\links\NAME.link holding the link's path, then its target folder's, one a
# line, both below C:\. The link is made, with the folders missing on the way to it and to its
# target, and NAME.made written back; once the test deletes NAME.made, everything made for NAME
# goes and NAME.gone is written. What a run leaves, ended or killed, goes at the next run's start
# or this one's end. Nothing is made outside drive_c, and no link leads out of it.
set -euo pipefail
wine_run=$1 prefix=$2
shift 2
drive=$(realpath -m "$prefix/drive_c")
requests=$drive/qtv/links
# Outside the prefix, so that a test cannot write what the host removes.
ledgers=$(realpath -m "$prefix/..")/host-links
mkdir -p "$ledgers"

# The host's path of a C:\ path, or nothing when it leads out of drive_c.
host_path() {
  local path=${1%$'\r'}
  if [[ $path == [Cc]:\\?* ]]; then
    path=$(realpath -m "$drive/$(printf '%s' "${path:3}" | tr '\\' '/')")
    if [[ $path == "$drive"/?* ]]; then printf '%s' "$path"; fi
  fi
}

# Makes the folder, noting the topmost folder it had to make in the ledger.
make_folder() {
  local at=$1 top=
  while [ ! -e "$at" ] && [ ! -L "$at" ]; do top=$at; at=$(dirname "$at"); done
  mkdir -p "$1"
  if [ -n "$top" ]; then echo "$top" >>"$2"; fi
}

# Removes what a ledger names, last made first: the link itself, never what it leads to.
remove_made() {
  local made
  while IFS= read -r made; do
    if [[ $made == "$drive"/?* ]]; then rm -rf -- "$made"; fi
  done < <(tac "$1")
  rm -f "$1"
}

remove_all() {
  local ledger
  for ledger in "$ledgers"/*; do
    if [ -f "$ledger" ]; then remove_made "$ledger"; fi
  done
}

remove_all
rm -f "$requests"/*
trap remove_all EXIT

"$wine_run" "$@" &
test=$!
while kill -0 "$test" 2>/dev/null; do
  for request in "$requests"/*.link; do
    [ -e "$request" ] || continue
    name=$(basename "$request" .link)
    { read -r link_line; read -r target_line; } <"$request" || true
    rm -f "$request"
    link=$(host_path "$link_line") target=$(host_path "$target_line")
    if [ -z "$link" ] || [ -z "$target" ] || [ -e "$link" ] || [ -L "$link" ]; then
      echo "host_links.sh: refused $name: $link_line -> $target_line" >&2
      continue
    fi
    make_folder "$target" "$ledgers/$name"
    make_folder "$(dirname "$link")" "$ledgers/$name"
    ln -sr "$target" "$link"
    echo "$link" >>"$ledgers/$name"
    touch "$requests/$name.made"
  done
  for ledger in "$ledgers"/*; do
    name=$(basename "$ledger")
    if [ -f "$ledger" ] && [ ! -e "$requests/$name.made" ]; then
      remove_made "$ledger"
      touch "$requests/$name.gone"
    fi
  done
  sleep 0.1
done
wait "$test"
