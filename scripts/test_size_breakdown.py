"""The size breakdown's split of the link-time optimised object."""
import collections

import size_breakdown as sb


def test_names_are_charged_by_their_outermost_namespace():
    libraries = {"zlib": {"deflate_slow"}, "jansson": {"lex_scan"}}
    cases = {
        "_ZN8download10Downloader12OpenDownloadEv": "ours: download/",
        "_ZNK9installer9Installer21BuildSetupCommandLineEv": "ours: installer/",
        "_ZN4base8switches5kFooE": "ours: base/",
        "_ZZN8download12EncodeBase64EvE9kAlphabet": "ours: download/",
        "_ZGVZN2ui4SkinC2EvE5cache": "ours: ui/",
        "_ZTVN11diagnostics14GzipBodyStreamE": "ours: diagnostics/",
        "_ZN7Gdiplus8Graphics9DrawImageEv.constprop.0": "ours: ui/",
        "_ZNSt6vectorIiSaIiEE12emplace_backEv": sb.TEMPLATES,
        "_ZNKSt7__cxx1112basic_stringIwSt11char_traitsIwESaIwEE4findEv": sb.TEMPLATES,
        "_ZSt4moveIRiEv": sb.TEMPLATES,
        "_ZN12_GLOBAL__N_14HelpEv": sb.FILE_LOCAL,
        "deflate_slow": "zlib",
        "lex_scan.lto_priv.0": "jansson",
        "wWinMain": sb.FILE_LOCAL,
    }
    for name, owner in cases.items():
        assert sb.symbol_owner(name, libraries) == owner, name


def test_each_symbol_owns_the_bytes_up_to_the_next(monkeypatch):
    symbols = [(0x1000, "_ZN2ui1AEv"), (0x1010, "deflate_slow"), (0x1030, "_ZN4base1BEv"),
               (0x2008, "_ZN5stats1CEv"), (0x5000, "_ZN5setup1DEv")]
    monkeypatch.setattr(sb, "image_symbols", lambda nm, path, underscore: symbols)
    monkeypatch.setattr(sb, "archive_names", lambda objdump, path, underscore: {"deflate_slow"})
    charged = collections.defaultdict(int)
    # Two input sections of the optimised object: code, then constants that
    # start before their first symbol. The symbol past both ends counts for none.
    sb.split_optimised(charged, [(0x1000, 0x40), (0x2000, 0x20)], "i686-w64-mingw32-",
                       "image", {"zlib": "libz.a"})
    assert dict(charged) == {"ours: ui/": 0x10, "zlib": 0x20, "ours: base/": 0x10,
                             sb.UNNAMED: 0x8, "ours: stats/": 0x18}
