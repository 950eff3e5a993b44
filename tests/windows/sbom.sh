#!/usr/bin/env bash
# The Windows bundle's SBOM: valid against CycloneDX's own JSON schema (with CycloneDX's own
# JavaScript library), listing every file of the package folder with the digest it has and
# nothing else, and giving every third-party part a licence that parses as SPDX.
#
# usage: sbom.sh SBOM PKG
#        sbom.sh --install    only install the validator (a test in a namespace without a network
#                             has it installed first)
# env:   TAVO_NPM_DIR   where the validator's npm packages go (default: a temporary folder);
#                       kept between runs, they are installed again only when the lock changes
set -euo pipefail

usage="usage: sbom.sh SBOM PKG | sbom.sh --install"
HERE="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
CHECK="$HERE/../../tools/win/sbom-check"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
npm_dir="${TAVO_NPM_DIR:-$tmp/npm}"
mkdir -p "$npm_dir"
# The lock pins the validator and its schema; the XML validator's native parts are not needed.
if ! cmp -s "$CHECK/package-lock.json" "$npm_dir/package-lock.json" || [ ! -d "$npm_dir/node_modules" ]; then
    cp "$CHECK/package.json" "$CHECK/package-lock.json" "$npm_dir/"
    npm ci --prefix "$npm_dir" --omit=optional --ignore-scripts --no-audit --no-fund --loglevel=error >&2
fi
if [ "${1:-}" = --install ]; then exit 0; fi

[ $# -eq 2 ] || { echo "$usage" >&2; exit 2; }
SBOM=$1 PKG=$2
[ -f "$SBOM" ] || { echo "sbom test: no SBOM $SBOM" >&2; exit 1; }
[ -d "$PKG" ] || { echo "sbom test: no package folder $PKG" >&2; exit 1; }

NODE_PATH="$npm_dir/node_modules" node - "$SBOM" "$PKG" <<'JS'
'use strict'
const fs = require('fs')
const path = require('path')
const crypto = require('crypto')
const { Validation, Spec: CycloneDX } = require('@cyclonedx/cyclonedx-library')
const parseSpdx = require('spdx-expression-parse')

const [sbomFile, pkg] = process.argv.slice(2)
const faults = []
const text = fs.readFileSync(sbomFile, 'utf8')
const bom = JSON.parse(text)

async function main () {
  const version = { '1.5': CycloneDX.Version.v1dot5, '1.6': CycloneDX.Version.v1dot6 }[bom.specVersion]
  if (!version) faults.push(`specVersion ${bom.specVersion} is not 1.5 or 1.6`)
  else {
    const errors = await new Validation.JsonStrictValidator(version).validate(text)
    if (errors) faults.push(`not valid CycloneDX ${bom.specVersion}: ${JSON.stringify(errors, null, 1)}`)
  }

  const pkgDir = path.resolve(pkg)
  const self = path.resolve(sbomFile)
  const walk = (dir) => fs.readdirSync(dir, { withFileTypes: true }).flatMap((e) => {
    const full = path.join(dir, e.name)
    return e.isDirectory() ? walk(full) : full === self ? [] : [full]
  })
  const onDisk = new Map(walk(pkgDir).map((f) => [path.relative(pkgDir, f).split(path.sep).join('/'),
    crypto.createHash('sha256').update(fs.readFileSync(f)).digest('hex')]))
  const listed = new Map()
  for (const c of (bom.components || []).filter((c) => c.type === 'file' && c.hashes)) {
    const h = c.hashes.find((x) => x.alg === 'SHA-256')
    listed.set(c.name, h ? h.content : undefined)
  }
  for (const [name, digest] of onDisk) {
    if (!listed.has(name)) faults.push(`${name} is shipped but not listed`)
    else if (listed.get(name) !== digest) faults.push(`${name}: listed SHA-256 ${listed.get(name)}, shipped ${digest}`)
  }
  for (const name of listed.keys()) if (!onDisk.has(name)) faults.push(`${name} is listed but not shipped`)

  const parts = (bom.components || []).filter((c) => c.purl)
  for (const src of ['qtbase-opensource-src', 'openssl', 'libjsoncpp', 'fonts-nanum', 'gcc-mingw-w64', 'mingw-w64']) {
    if (!parts.some((c) => c.purl.startsWith(`pkg:deb/debian/${src}@`))) faults.push(`no part from Debian's ${src}`)
  }
  for (const c of parts) {
    const ls = c.licenses || []
    if (ls.length === 0) faults.push(`${c.name} has no licence`)
    for (const l of ls) {
      const expr = l.expression || (l.license && l.license.id)
      try { parseSpdx(expr) } catch (e) { faults.push(`${c.name}: licence '${expr}' is no SPDX expression`) }
    }
    if (!c.version) faults.push(`${c.name} has no version`)
  }
}

main().then(() => {
  if (faults.length) {
    process.stderr.write(`sbom test: ${sbomFile}:\n  ${faults.join('\n  ')}\n`)
    process.exit(1)
  }
}, (e) => { process.stderr.write(`sbom test: ${e.stack || e}\n`); process.exit(1) })
JS
