#!/usr/bin/env bash
# Puts the licence texts and notices of every third-party part of the Windows bundle into the
# package folder: licenses/<part>/ with the part's own Debian copyright file, its licence files
# from Qt's source and the common licence texts it names, and NOTICES.txt, in Korean and in
# English, naming each part, its version, its licence, the files that hold it, its licence files
# and where its exact source is. The parts are those the SBOM lists (tools/win/sbom.sh --parts).
#
# NOTICES.txt is UTF-8 with a byte order mark and CRLF line ends, so Notepad shows the Korean
# right on any code page. Every name written is plain ASCII, as the installer requires.
#
# usage: notices.sh CACHE PKG      CACHE: tools/win/thirdparty.sh's cache, PKG: the package folder
set -euo pipefail

HERE="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
usage="usage: notices.sh CACHE PKG"
[ $# -eq 2 ] || { echo "$usage" >&2; exit 2; }
CACHE=$1 PKG=$2
[ -f "$CACHE/sources/configure-lines.txt" ] || { echo "notices: $CACHE/sources/configure-lines.txt is missing" >&2; exit 1; }
version=$(sed -n 's/^project(TAVO VERSION \([0-9.]*\).*/\1/p' "$HERE/../../CMakeLists.txt")
[ -n "$version" ] || { echo "notices: no project version in CMakeLists.txt" >&2; exit 1; }
parts=$(bash "$HERE/sbom.sh" --parts "$CACHE" "$PKG")

exec node - "$PKG" "$version" "$parts" <<'JS'
'use strict'
const fs = require('fs')
const path = require('path')

const [pkg, version, partLines] = process.argv.slice(2)
const die = (msg) => { process.stderr.write(`notices: ${msg}\n`); process.exit(1) }
const parts = partLines.split('\n').filter(Boolean).map((l) => JSON.parse(l))
const qt = parts.find((p) => p.id === 'qtbase') || die('the parts name no Qt')

// A fresh licenses/ each time, so no text of a part dropped since stays behind.
const licDir = path.join(pkg, 'licenses')
fs.rmSync(licDir, { recursive: true, force: true })
for (const p of parts) {
  const dir = path.join(licDir, p.id)
  fs.mkdirSync(dir, { recursive: true })
  const taken = new Set()
  p.licenceFiles = p.texts.map((src) => {
    if (!fs.existsSync(src)) die(`missing ${src}`)
    // Names Notepad opens; Windows folds case, so FreeType's LICENSE.TXT and LICENSE.txt part.
    let name = path.basename(src)
    if (!/\.[A-Za-z]{2,4}$/.test(name)) name += '.txt'
    const ext = path.extname(name)
    for (let n = 2; taken.has(name.toLowerCase()); n++) name = `${path.basename(name, ext).replace(/-\d+$/, '')}-${n}${ext}`
    taken.add(name.toLowerCase())
    if (!/^[A-Za-z0-9._+-]+$/.test(name)) die(`licence file name ${name} is not plain ASCII`)
    fs.copyFileSync(src, path.join(dir, name))
    return `licenses\\${p.id}\\${name}`
  })
}

const win = (f) => f.replace(/\//g, '\\')
const archive = (p) => {
  const names = [`"${p.src} ${p.srcVersion}"`]
  const gcc = (p.builtUsing || '').match(/^(\S+) \(= ([^)]+)\)/)
  if (gcc) names.push(`"${gcc[1]} ${gcc[2]}"`)
  return names
}
// Debian's copyright file of Qt covers the parts built into Qt as well.
const licenceRefs = (p) => p.subpath ? [...p.licenceFiles, qt.licenceFiles[0]] : p.licenceFiles
const korean = (name) => name.replace(' (built into Qt)', ' (Qt에 내장)')

const notes = {
  ko: {
    jsoncpp: '공개 도메인 또는 MIT 라이선스 중 선택할 수 있으며(copyright.txt 참조), 여기서는 MIT 라이선스를 따릅니다.',
    'gcc-runtime': 'GCC 런타임 라이브러리 예외(GCC Runtime Library Exception) 3.1판의 전문은 copyright.txt에 있습니다.',
    winpthreads: 'copyright.txt에는 모든 프로그램 파일에 링크된 mingw-w64 런타임 코드의 고지도 들어 있습니다.',
    freetype: 'FreeType 라이선스(FTL)를 따릅니다. BDF와 PCF 드라이버의 MIT(Expat) 고지는 licenses\\qtbase\\copyright.txt에 있습니다.',
  },
  en: {
    jsoncpp: 'Public domain or the MIT License at the user\'s choice (see copyright.txt); used here under the MIT License.',
    'gcc-runtime': 'The text of the GCC Runtime Library Exception, version 3.1, is in copyright.txt.',
    winpthreads: 'copyright.txt also holds the notices of the mingw-w64 runtime code linked into every program file.',
    freetype: 'Used under the FreeType License (FTL). The MIT (Expat) notices of its BDF and PCF drivers are in licenses\\qtbase\\copyright.txt.',
  },
}

const entry = (p, lang) => {
  const ko = lang === 'ko'
  const lines = [
    `* ${ko ? korean(p.name) : p.name}`,
    `  ${ko ? '버전' : 'Version'}: ${p.version} (Debian ${p.src} ${p.srcVersion})`,
    `  ${ko ? '라이선스' : 'Licence'} (SPDX): ${p.licence}`,
    `  ${ko ? '들어 있는 파일' : 'Shipped in'}: ${p.files.map(win).join(', ')}`,
    `  ${ko ? '라이선스 전문과 고지' : 'Licence texts and notices'}: ${licenceRefs(p).join(', ')}`,
  ]
  if (p.sources.length) {
    lines.push(`  ${ko ? '소스' : 'Source'}: ${ko ? '설치 프로그램 옆 sources 폴더의' : 'in the sources folder beside the installer:'} ${p.sources.join(', ')}`)
    lines.push(`        ${ko ? `Debian 아카이브의 ${archive(p).join(', ')}` : `and in the Debian archive as ${archive(p).join(', ')}`}`)
  } else {
    lines.push(`  ${ko ? '소스' : 'Source'}: ${ko ? `Debian 아카이브의 ${archive(p).join(', ')}` : `the Debian archive, as ${archive(p).join(', ')}`}`)
  }
  if (notes[lang][p.id]) lines.push(`  ${notes[lang][p.id]}`)
  if (p.credit) lines.push(`  ${p.credit}`)
  return lines.join('\n')
}

const list = (items) => items.map((i) => `    ${i}`).join('\n')
const qtFiles = list(qt.files.map(win))
const qtSources = list(qt.sources)
const ko = `[한국어]

Nimbara Workspace ${version}에는 아래의 제3자 구성 요소가 들어 있습니다. 각 구성 요소는
저마다의 라이선스에 따라 배포되며, 라이선스 전문과 저작권 고지는 이 폴더의 licenses 폴더에
있습니다. 소스 패키지 파일은 설치 프로그램과 함께 배포되는 sources 폴더에 있고(빌드에 쓴
configure 명령은 같은 폴더의 configure-lines.txt), Debian 아카이브에서도 "패키지 버전"으로
받을 수 있습니다.

${parts.map((p) => entry(p, 'ko')).join('\n\n')}

Qt 라이브러리 (GNU LGPL 3판)
이 프로그램은 Qt ${qt.version} 버전을 GNU Lesser General Public License 3판(licenses\\qtbase\\)에
따라 사용하며, Qt를 다음 공유 라이브러리로 함께 배포합니다.
${qtFiles}
배포한 Qt의 정확한 소스 코드는 설치 프로그램 옆 sources 폴더의 다음 파일이며, 빌드에 쓴
configure 명령은 같은 폴더의 configure-lines.txt에 있습니다.
${qtSources}
같은 소스는 Debian 아카이브에서 "${qt.src} ${qt.srcVersion}" 이름으로도 받을
수 있습니다. 이 소스를 받지 못했다면 이 설치 프로그램을 제공한 곳에 요청하십시오. 사용자는
설치 폴더의 이 Qt 파일들을 직접 고치거나 새로 빌드한 같은 버전의 Qt로 바꾸어 쓸 수 있으며,
프로그램은 자기 폴더의 Qt를 읽습니다.
`

const en = `[English]

Nimbara Workspace ${version} contains the third-party parts below. Each is distributed under its
own licence; the licence texts and copyright notices are in the licenses folder beside this
file. The source package files are in the sources folder published with the installer (with
the configure lines used, configure-lines.txt) and in the Debian archive as "package version".

${parts.map((p) => entry(p, 'en')).join('\n\n')}

The Qt libraries (GNU LGPL version 3)
This program uses Qt ${qt.version} under the GNU Lesser General Public License version 3
(licenses\\qtbase\\) and ships it as these shared libraries:
${qtFiles}
The exact source code of the Qt we ship is these files in the sources folder beside the
installer, configured as configure-lines.txt there says:
${qtSources}
The Debian archive has the same source as "${qt.src} ${qt.srcVersion}".
If you did not receive it, ask whoever supplied this installer for it.
You may replace these Qt files in the installation folder with a modified or rebuilt Qt of the
same version: the program loads the Qt in its own folder.
`

const text = `Nimbara Workspace ${version}\n제3자 구성 요소 고지 / Third-party notices\n\n${ko}\n\n${en}`
fs.writeFileSync(path.join(pkg, 'NOTICES.txt'), '\ufeff' + text.replace(/\r?\n/g, '\r\n'))
JS
