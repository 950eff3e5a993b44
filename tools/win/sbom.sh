#!/usr/bin/env bash
# Writes the software bill of materials of the Windows bundle, CycloneDX 1.5 JSON: every file of
# the package folder with its SHA-256, and every third-party part with its version, licence and
# Debian source package, tied to the files that hold it. Run it after signing, so the digests are
# those of the files as shipped. The output depends on its inputs only (SOURCE_DATE_EPOCH gives
# the time stamp), so two builds of the same commit give the same SBOM.
#
# The list of parts below is also what tools/win/notices.sh writes the notices from (--parts), so
# the SBOM and the notices cannot name different parts, versions or licences.
#
# usage: sbom.sh CACHE PKG OUT       CACHE: tools/win/thirdparty.sh's cache, PKG: the package
#                                    folder, OUT: the SBOM to write (skipped if it lies in PKG)
#        sbom.sh --parts CACHE PKG   prints the parts, one JSON object a line
set -euo pipefail

HERE="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
usage="usage: sbom.sh CACHE PKG OUT | sbom.sh --parts CACHE PKG"
mode=sbom
if [ "${1:-}" = --parts ]; then mode=parts; shift; fi
if { [ $mode = sbom ] && [ $# -ne 3 ]; } || { [ $mode = parts ] && [ $# -ne 2 ]; }; then
    echo "$usage" >&2
    exit 2
fi
command -v node >/dev/null || { echo "sbom: node not found (nodejs)" >&2; exit 1; }
[ -d "$1" ] || { echo "sbom: no cache folder $1" >&2; exit 1; }
[ -d "$2" ] || { echo "sbom: no package folder $2" >&2; exit 1; }
version=$(sed -n 's/^project(TAVO VERSION \([0-9.]*\).*/\1/p' "$HERE/../../CMakeLists.txt")
[ -n "$version" ] || { echo "sbom: no project version in CMakeLists.txt" >&2; exit 1; }

exec node - "$mode" "$version" "$@" <<'JS'
'use strict'
const fs = require('fs')
const path = require('path')
const crypto = require('crypto')
const { execFileSync } = require('child_process')

const [mode, version, cache, pkg, out] = process.argv.slice(2)
const die = (msg) => { process.stderr.write(`sbom: ${msg}\n`); process.exit(1) }
const need = (file) => { if (!fs.existsSync(file)) die(`missing ${file}`); return file }

// Versions of the parts built from source, as thirdparty.sh fetched them.
const built = {}
for (const line of fs.readFileSync(need(path.join(cache, 'versions')), 'utf8').split('\n')) {
  const [name, ver] = line.trim().split(/\s+/)
  if (name) built[name] = ver
}
const builtVersion = (src) => built[src] || die(`${cache}/versions names no ${src}`)
// Debian version without epoch and revision: the upstream version.
const upstream = (v) => v.replace(/^\d+:/, '').replace(/-[^-]*$/, '').replace(/[+~]dfsg.*$/, '')

// Parts taken from the machine's own Debian packages.
const deb = (binary) => {
  let fields
  try {
    fields = execFileSync('dpkg-query', ['-W', '-f', '${Version}\t${source:Package}\t${source:Version}\t${Built-Using}', binary],
      { encoding: 'utf8', stdio: ['ignore', 'pipe', 'ignore'] }).split('\t')
  } catch (e) { die(`Debian package ${binary} is not installed`) }
  const [ver, src, srcVersion, builtUsing] = fields
  return { binary, ver, src, srcVersion, builtUsing, copyright: need(`/usr/share/doc/${binary}/copyright`) }
}

// Qt's qt_attribution.json files hold raw line breaks inside strings, which JSON forbids.
const attribution = (part) => {
  const file = need(path.join(cache, 'licenses/qtbase-opensource-src', part, 'qt_attribution.json'))
  const text = fs.readFileSync(file, 'utf8').replace(/"(?:[^"\\]|\\.)*"/gs, (s) => s.replace(/\r?\n/g, '\\n'))
  const entries = [].concat(JSON.parse(text))
  if (!entries[0].Version) die(`${file} gives no version`)
  return entries[0]
}

const common = (name) => need(`/usr/share/common-licenses/${name}`)
const qtSrc = 'qtbase-opensource-src'
const qtLicences = path.join(cache, 'licenses', qtSrc)
const qtVersion = builtVersion(qtSrc)
const qtPart = (part) => ({ src: qtSrc, srcVersion: qtVersion, subpath: `src/3rdparty/${part}`, att: attribution(part) })
// Every file of a folder in thirdparty.sh's licence copy except Qt's attribution data.
const folder = (dir) => {
  need(dir)
  const files = fs.readdirSync(dir).sort().filter((f) => f !== 'qt_attribution.json' && fs.statSync(path.join(dir, f)).isFile())
  if (files.length === 0) die(`no licence file in ${dir}`)
  return files.map((f) => path.join(dir, f))
}
const nanum = deb('fonts-nanum')
const nanumExtra = deb('fonts-nanum-extra')
const gccRuntime = deb('gcc-mingw-w64-x86-64-posix-runtime')
const mingw = deb('mingw-w64-x86-64-dev')
const qtPlugin = /^(platforms|styles|imageformats|iconengines|platforminputcontexts|generic|bearer)\/[^/]+\.dll$/i

// The parts shipped. `in` says which shipped files hold a part; `texts` are its licence texts and
// notices, which notices.sh copies into licenses/<dir>/; `sources` are the Debian source
// packages its exact source is in.
const qtFreetype = qtPart('freetype')
const parts = [
  { id: 'qtbase', name: 'Qt 5 base modules (Qt Core, Gui, Widgets, Network and their plugins)', type: 'library',
    version: upstream(qtVersion), licence: 'LGPL-3.0-only', src: qtSrc, srcVersion: qtVersion,
    in: (f) => /^Qt5[^/]*\.dll$/i.test(f) || qtPlugin.test(f),
    texts: [path.join(qtLicences, 'copyright'), common('LGPL-3'), common('GPL-3')] },
  { id: 'freetype', name: 'FreeType (built into Qt)', type: 'library', ...qtFreetype,
    version: qtFreetype.att.Version, licence: '(FTL OR GPL-2.0-only) AND MIT',
    // FreeType's font engine sits in the platform plugins, with the font database.
    in: (f) => /^platforms\/[^/]+\.dll$/i.test(f),
    texts: folder(path.join(qtLicences, 'freetype')),
    // The FreeType licence asks for this line in the documentation; FTL.TXT gives its words.
    credit: freetypeCredit(path.join(qtLicences, 'freetype/FTL.TXT'), qtFreetype.att.Copyright) },
  { id: 'harfbuzz', name: 'HarfBuzz (built into Qt)', type: 'library', ...qtPart('harfbuzz-ng'), licence: 'MIT',
    in: (f) => /^Qt5Gui\.dll$/i.test(f), texts: folder(path.join(qtLicences, 'harfbuzz-ng')) },
  // Qt's image reader uses libpng, and so does FreeType for colour glyphs, each linked in whole.
  { id: 'libpng', name: 'libpng (built into Qt)', type: 'library', ...qtPart('libpng'), licence: 'Libpng AND libpng-2.0',
    in: (f) => /^(Qt5Gui|platforms\/[^/]+)\.dll$/i.test(f), texts: folder(path.join(qtLicences, 'libpng')) },
  { id: 'pcre2', name: 'PCRE2 (built into Qt)', type: 'library', ...qtPart('pcre2'), licence: 'BSD-3-Clause AND BSD-2-Clause',
    in: (f) => /^Qt5Core\.dll$/i.test(f), texts: folder(path.join(qtLicences, 'pcre2')) },
  { id: 'zlib', name: 'zlib (built into Qt)', type: 'library', ...qtPart('zlib'), licence: 'Zlib',
    in: (f) => /^Qt5Core\.dll$/i.test(f), texts: folder(path.join(qtLicences, 'zlib')) },
  { id: 'openssl', name: 'OpenSSL libcrypto', type: 'library', version: upstream(builtVersion('openssl')),
    licence: 'Apache-2.0', src: 'openssl', srcVersion: builtVersion('openssl'),
    in: (f) => f === 'TAVO_DSK.exe', texts: [need(path.join(cache, 'licenses/openssl/copyright')), common('Apache-2.0')] },
  // Public domain or MIT at the user's choice (its copyright file); SPDX has no id for the former.
  { id: 'jsoncpp', name: 'JsonCpp', type: 'library', version: upstream(builtVersion('libjsoncpp')),
    licence: 'MIT', src: 'libjsoncpp', srcVersion: builtVersion('libjsoncpp'),
    in: (f) => f === 'TAVO_DSK.exe', texts: [need(path.join(cache, 'licenses/libjsoncpp/copyright'))] },
  { id: 'fonts-nanum', name: 'Nanum fonts NanumGothic and NanumGothicBold', type: 'file', version: upstream(nanum.ver),
    licence: 'OFL-1.1', src: nanum.src, srcVersion: nanum.srcVersion,
    in: (f) => f === 'TAVO_DSK.exe', texts: [nanum.copyright] },
  { id: 'fonts-nanum-extra', name: 'Nanum font NanumBrush', type: 'file', version: upstream(nanumExtra.ver),
    licence: 'OFL-1.1', src: nanumExtra.src, srcVersion: nanumExtra.srcVersion,
    in: (f) => f === 'TAVO_DSK.exe', texts: [nanumExtra.copyright] },
  // The runtime is GCC's own source, which Debian builds in gcc-mingw-w64 from gcc-12.
  { id: 'gcc-runtime', name: 'GCC runtime libraries (libstdc++, libgcc)', type: 'library',
    version: gccVersion(gccRuntime), licence: 'GPL-3.0-or-later WITH GCC-exception-3.1',
    src: gccRuntime.src, srcVersion: gccRuntime.srcVersion, builtUsing: gccRuntime.builtUsing,
    in: (f) => /^(libstdc\+\+-6|libgcc_s_seh-1)\.dll$/i.test(f), texts: [gccRuntime.copyright, common('GPL-3')] },
  { id: 'winpthreads', name: 'mingw-w64 winpthreads', type: 'library', version: upstream(mingw.ver),
    licence: 'MIT AND BSD-3-Clause', src: mingw.src, srcVersion: mingw.srcVersion,
    in: (f) => /^libwinpthread-1\.dll$/i.test(f), texts: [mingw.copyright] },
]
for (const p of parts) if (p.att) p.version = p.att.Version

// The GCC the runtime was built from, as the package records it; else the package's version.
function gccVersion (p) {
  const m = (p.builtUsing || '').match(/\bgcc-\d+ \(= ([^)]+)\)/)
  return m ? upstream(m[1]) : p.ver
}

function freetypeCredit (ftl, copyright) {
  const text = fs.readFileSync(need(ftl), 'utf8')
  const m = text.match(/"""\s*\n([\s\S]*?Portions of this software[\s\S]*?)\n\s*"""/)
  if (!m) die(`${ftl} no longer holds the credit line`)
  const years = (copyright || '').match(/\d{4}/g)
  if (!years) die('FreeType\'s attribution gives no year')
  return m[1].replace(/\s+/g, ' ').trim().replace('<year>', years[years.length - 1])
}

// The source packages: the files a .dsc names lie beside it in thirdparty.sh's sources/.
const sourceFiles = (src, srcVersion) => {
  const dsc = `${src}_${srcVersion.replace(/^\d+:/, '')}.dsc`
  const dir = path.join(cache, 'sources')
  if (!fs.existsSync(path.join(dir, dsc))) return []
  const text = fs.readFileSync(path.join(dir, dsc), 'utf8')
  const listed = (text.split(/^Files:\s*$/m)[1] || '').split('\n').filter((l) => /^ \S/.test(l)).map((l) => l.trim().split(/\s+/)[2])
  for (const f of listed) need(path.join(dir, f))
  return [dsc, ...listed]
}

// The package folder, as the installer lays it out: relative paths with forward slashes, sorted.
const pkgDir = path.resolve(pkg)
const outFile = out ? path.resolve(out) : ''
const walk = (dir) => fs.readdirSync(dir, { withFileTypes: true }).flatMap((e) => {
  const full = path.join(dir, e.name)
  if (e.isDirectory()) return walk(full)
  return full === outFile ? [] : [full]
})
const files = walk(pkgDir).map((f) => path.relative(pkgDir, f).split(path.sep).join('/')).sort()
if (files.length === 0) die(`${pkg} is empty`)
for (const p of parts) {
  p.files = files.filter(p.in)
  if (p.files.length === 0) die(`no file in ${pkg} holds ${p.name}`)
  p.sources = sourceFiles(p.src, p.srcVersion)
}

if (mode === 'parts') {
  for (const p of parts) {
    const { in: _, att, ...rest } = p
    process.stdout.write(JSON.stringify(rest) + '\n')
  }
  process.exit(0)
}

// purl versions are percent-encoded ('+' above all); the subpath names the folder of a part
// that lives inside another package's source.
const purl = (p) => `pkg:deb/debian/${p.src}@${encodeURIComponent(p.srcVersion)}?arch=source` +
  (p.subpath ? `#${p.subpath}` : '')
const licences = (expr) => / /.test(expr) ? [{ expression: expr }] : [{ license: { id: expr } }]
const sha256 = (f) => crypto.createHash('sha256').update(fs.readFileSync(path.join(pkgDir, f))).digest('hex')

const fileComponents = files.map((f) => ({
  type: 'file', 'bom-ref': `file:${f}`, name: f, hashes: [{ alg: 'SHA-256', content: sha256(f) }],
}))
// The serial number names this bundle: the same files and digests give the same number.
const digest = crypto.createHash('sha256')
  .update(`Nimbara Workspace ${version}\n` + fileComponents.map((c) => `${c.hashes[0].content}  ${c.name}\n`).join(''))
  .digest('hex')
const uuid = [digest.slice(0, 8), digest.slice(8, 12), '8' + digest.slice(13, 16),
  ((parseInt(digest[16], 16) & 3) | 8).toString(16) + digest.slice(17, 20), digest.slice(20, 32)].join('-')
const epoch = process.env.SOURCE_DATE_EPOCH
if (epoch !== undefined && !/^\d+$/.test(epoch)) die(`SOURCE_DATE_EPOCH '${epoch}' is not a number`)
const timestamp = new Date(epoch !== undefined ? Number(epoch) * 1000 : Date.now()).toISOString().replace(/\.\d+Z$/, 'Z')

const root = 'nimbara-workspace'
const bom = {
  bomFormat: 'CycloneDX',
  specVersion: '1.5',
  serialNumber: `urn:uuid:${uuid}`,
  version: 1,
  metadata: {
    timestamp,
    component: { type: 'application', 'bom-ref': root, name: 'Nimbara Workspace', version },
  },
  components: [
    ...fileComponents,
    ...parts.map((p) => ({
      type: p.type, 'bom-ref': `part:${p.id}`, name: p.name, version: p.version,
      licenses: licences(p.licence), purl: purl(p),
    })),
  ],
  dependencies: [
    { ref: root, dependsOn: fileComponents.map((c) => c['bom-ref']) },
    ...files.map((f) => ({ ref: `file:${f}`, dependsOn: parts.filter((p) => p.files.includes(f)).map((p) => `part:${p.id}`) }))
      .filter((d) => d.dependsOn.length > 0),
  ],
}
fs.writeFileSync(outFile, JSON.stringify(bom, null, 2) + '\n')
JS
