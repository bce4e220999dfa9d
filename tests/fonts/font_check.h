// Helpers of the font tests: installed font files as fontconfig's own tool names them, and a
// description of a page's font written by pikepdf and judged against fontTools' reading of
// the font file.
#pragma once

#include <string>

#include "test_support.h"

namespace fonttest {

// The file fontconfig's command-line matcher gives for a pattern ("DejaVu Sans:bold").
inline std::string MatchedFile(const std::string& pattern) {
  testsupport::RunResult r =
      testsupport::Run("fc-match -f '%{file}' " + testsupport::Quote(pattern));
  return r.status == 0 ? r.out : std::string();
}

inline long long FileSize(const std::string& path) {
  return static_cast<long long>(testsupport::ReadFile(path).size());
}

// Prints "key=value" lines for font resource argv[2] of page 1, and "metrics=ok" (or the
// differences) against the font file argv[3] (face argv[4]) as fontTools reads it.
inline const char kDescribeFont[] = R"(
import sys, math, pikepdf
from fontTools.ttLib import TTFont
pdf = pikepdf.open(sys.argv[1], password=sys.argv[5] if len(sys.argv) > 5 else '')
font = pdf.pages[-1].Resources.Font[sys.argv[2]]
def p(k, v): print('%s=%s' % (k, v))
p('Subtype', font.Subtype)
p('BaseFont', bytes(font.BaseFont.unparse()).decode('latin-1'))
p('Encoding', font.get('/Encoding', '-'))
simple = font.Subtype != '/Type0'
cid = font if simple else font.DescendantFonts[0]
if not simple:
    p('CIDSubtype', cid.Subtype)
    info = cid.CIDSystemInfo
    p('Collection', '%s-%s-%d' % (info.Registry, info.Ordering, info.Supplement))
    p('W', '/W' in cid)
    p('CIDToGIDMap', '/CIDToGIDMap' in cid)
    p('ToUnicode', '/ToUnicode' in font)
fd = cid.FontDescriptor
p('Flags', int(fd.Flags))
for key in ('/FontFile', '/FontFile2', '/FontFile3'):
    if key in fd:
        ff = fd[key]
        p('FontFile', key[1:])
        p('FontFileSubtype', ff.get('/Subtype', '-'))
        p('Length1', int(ff.Length1) if '/Length1' in ff else '-')
        p('Filter', ff.get('/Filter', '-'))
        p('ProgramSize', len(ff.read_bytes()))
if sys.argv[3] != '-':
    tt = TTFont(sys.argv[3], fontNumber=int(sys.argv[4]))
    upem = tt['head'].unitsPerEm
    def sc(v):
        x = v * 1000.0 / upem
        return int(math.floor(x + 0.5)) if x >= 0 else int(math.ceil(x - 0.5))
    head, os2, post = tt['head'], tt['OS/2'], tt['post']
    cap = getattr(os2, 'sCapHeight', 0) if os2.version >= 2 else 0
    stem = os2.usWeightClass * 0.015384615
    want = {'/FontBBox': [sc(head.xMin), sc(head.yMin), sc(head.xMax), sc(head.yMax)],
            '/Ascent': sc(os2.sTypoAscender), '/Descent': sc(os2.sTypoDescender),
            '/CapHeight': sc(cap) if cap else 666, '/StemV': int(stem * stem + 50),
            '/ItalicAngle': int(post.italicAngle)}
    if os2.version >= 2 and os2.sxHeight > 0:
        want['/XHeight'] = sc(os2.sxHeight)
    bad = []
    for k, v in want.items():
        got = [int(x) for x in fd[k]] if k == '/FontBBox' else int(fd[k])
        if got != v:
            bad.append('%s %s!=%s' % (k, got, v))
    if simple:
        cmap = tt.getBestCmap()
        for c in range(32, 127):
            w = sc(tt['hmtx'][cmap.get(c, '.notdef')][0])
            if int(font.Widths[c]) != w:
                bad.append('width %d %d!=%d' % (c, int(font.Widths[c]), w))
    if '/FontFile3' in fd:
        p('CFFTable', 'same' if fd.FontFile3.read_bytes() == tt.reader['CFF '] else 'differs')
    p('StemV', int(fd.StemV))
    p('CapHeight', int(fd.CapHeight))
    p('metrics', 'ok' if not bad else ' '.join(bad))
)";

inline testsupport::RunResult DescribeFont(const testsupport::ScratchDir& dir,
                                           const std::string& pdf, const std::string& resource,
                                           const std::string& fontFile, int face = 0,
                                           const std::string& password = "") {
  std::string script = dir.file("describe.py");
  testsupport::WriteFile(script, kDescribeFont);
  std::string cmd = "/usr/bin/python3 " + testsupport::Quote(script) + " " +
                    testsupport::Quote(pdf) + " " + resource + " " +
                    testsupport::Quote(fontFile.empty() ? "-" : fontFile) + " " +
                    std::to_string(face);
  if (!password.empty()) cmd += " " + testsupport::Quote(password);
  return testsupport::Run(cmd);
}

// Runs a pictofold-engine script in the folder; returns the printed results.
inline testsupport::RunResult RunEngine(const testsupport::ScratchDir& dir,
                                        const std::string& script) {
  std::string path = dir.file("script.txt");
  testsupport::WriteFile(path, script);
  return testsupport::Run("cd " + testsupport::Quote(dir.path().string()) + " && " +
                          testsupport::Quote(testsupport::BinPath("pictofold-engine")) + " " +
                          testsupport::Quote(path));
}

} // namespace fonttest
