#!/usr/bin/env bash
# Prints the package-archive address that this machine's own apt
# configuration uses for its release (the first "deb" entry whose suite is
# the release's code name), read from /etc/apt/sources.list and
# /etc/apt/sources.list.d/ in both formats: one-line "deb [options] URI suite
# components" (*.list) and deb822 paragraphs (*.sources). Stops with a
# message when there is none: the project names no archive of its own.
# Usage: scripts/apt-archive.sh (or source it and call apt_archive).
apt_archive() {
  local codename
  codename=$(. /etc/os-release 2>/dev/null && echo "${VERSION_CODENAME:-}")
  if [ -z "$codename" ]; then
    echo "apt-archive: /etc/os-release names no release code name" >&2
    return 1
  fi
  local uri
  uri=$(
    {
      for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
        [ -f "$f" ] || continue
        # deb [options] URI suite components
        sed -e 's/#.*//' -e 's/\[[^]]*\]//' "$f" |
          awk -v s="$codename" '$1 == "deb" && $3 == s { print $2 }'
      done
      for f in /etc/apt/sources.list.d/*.sources; do
        [ -f "$f" ] || continue
        awk -v s="$codename" '
          function flush() {
            if (types ~ /(^| )deb( |$)/ && enabled != "no" && (" " suites " ") ~ (" " s " ") && uris != "") {
              split(uris, u, " "); print u[1]
            }
            types = ""; uris = ""; suites = ""; enabled = ""
          }
          /^[ \t]*#/ { next }
          /^[ \t]*$/ { flush(); next }
          { key = tolower($1); sub(/:$/, "", key); $1 = ""; sub(/^ +/, "")
            if (key == "types") types = $0
            else if (key == "uris") uris = $0
            else if (key == "suites") suites = $0
            else if (key == "enabled") enabled = tolower($0) }
          END { flush() }' "$f"
      done
    } | grep -v '^cdrom:' | head -n 1
  )
  if [ -z "$uri" ]; then
    echo "apt-archive: no package archive for '$codename' in this machine's apt sources" \
         "(/etc/apt/sources.list, /etc/apt/sources.list.d/*.list or *.sources); add the machine's" \
         "Debian archive there and run this again" >&2
    return 1
  fi
  echo "$uri"
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
  apt_archive
fi
