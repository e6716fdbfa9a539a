"""Brand resolution, the brand and partner packages and the side files, seen
from outside: what the installer downloads, writes into its temporary
directory and the registry, and hands to the setup."""

import pytest

PACKAGES = "resources/packages"


def serve(server, archives, brand_path):
    directory, _ = archives
    path = f"/browser/{brand_path}/browser-setup.arc"
    server.put_file(path, (directory / "browser-setup.arc").read_bytes())
    return path


@pytest.fixture(autouse=True)
def clean_registry(installer):
    installer.clear_registry_values()
    yield
    installer.clear_registry_values()


def brand_lines(run):
    return [m for m in run.messages() if m.startswith(("Fetching ", "Detected brand-name: ",
                                                       "Didn't found brand-name",
                                                       "User region: ", "User locale: "))]


class TestBrandResolution:
    def test_default_package_decides_without_a_switch(self, installer, server, archives,
                                                      setup_record):
        setup = serve(server, archives, "int")
        run = installer.run("--silent", env=setup_record.env)
        assert run.exit_code == 0, run.log
        assert len(server.requests(setup)) == 1
        _, switches = setup_record.switches()
        assert switches["brand-name"] == "int"
        assert switches["brand-package"].endswith("\\BrandFile")
        assert "partner-package" not in switches
        messages = run.messages()
        assert "Partner package is empty." in messages
        assert "Fetching default package" in messages
        assert "Brand id: int" in messages

    def test_named_brand_uses_its_package(self, installer, server, archives, setup_record):
        setup = serve(server, archives, "ua-uk")
        run = installer.run("--silent", "--brand-name=ua_uk", env=setup_record.env)
        assert run.exit_code == 0, run.log
        assert len(server.requests(setup)) == 1
        assert "Fetching defined UA_UK package" in run.messages()
        assert "Default language: uk" in run.messages()
        assert setup_record.switches()[1]["brand-name"] == "ua-uk"

    def test_unknown_brand_falls_back_to_the_default(self, installer, server, archives,
                                                     setup_record):
        setup = serve(server, archives, "int")
        run = installer.run("--silent", "--brand-name=nosuch", env=setup_record.env)
        assert run.exit_code == 0, run.log
        assert len(server.requests(setup)) == 1
        assert brand_lines(run) == ["Fetching defined NOSUCH package", "Fetching default package"]

    @pytest.mark.parametrize("region, language, brand, brand_id", [
        ("UA", "1049", "ua_ru", "ua-ru"),   # Ukraine, Russian interface
        ("RU", "1058", "ua_uk", "ua-uk"),   # Russia, Ukrainian interface
        ("TR", "1033", "tb", "tb"),
    ])
    def test_auto_detects_the_brand_from_region_and_language(
            self, installer, server, archives, setup_record, region, language, brand, brand_id):
        setup = serve(server, archives, brand_id)
        env = {**setup_record.env, "TX_TEST_REGION": region, "TX_TEST_UI_LANGUAGE": language}
        run = installer.run("--silent", "--brand-name=auto", env=env)
        assert run.exit_code == 0, run.log
        assert len(server.requests(setup)) == 1
        assert f"User region: {region}" in run.messages()
        assert f"Detected brand-name: {brand}" in run.messages()
        assert f"Fetching autodetected {brand.upper()} package" in run.messages()

    def test_auto_without_a_match_uses_tarnix(self, installer, server, archives, setup_record):
        setup = serve(server, archives, "tarnix")
        env = {**setup_record.env, "TX_TEST_REGION": "US", "TX_TEST_UI_LANGUAGE": "1033"}
        run = installer.run("--silent", "--brand-name=auto", env=env)
        assert run.exit_code == 0, run.log
        assert len(server.requests(setup)) == 1
        assert "Didn't found brand-name. Use default: tarnix" in run.messages()

    def test_lang_parameter_beats_the_packages(self, installer, server, archives, setup_record):
        serve(server, archives, "ua-uk")
        run = installer.run("--silent", "--brand-name=ua_uk", "--distr-info-params=lang=kk",
                            env=setup_record.env)
        assert run.exit_code == 0, run.log
        assert "Default language: kk" in run.messages()
        assert installer.registry_values().get("lang") == "kk"

    def test_partner_package_values_win(self, installer, server, archives, setup_record,
                                        build_dir, source_dir):
        setup = serve(server, archives, "partner")
        run = installer.run("--silent", env=setup_record.env,
                            exe=build_dir / "lite_installer_partner.exe")
        assert run.exit_code == 0, run.log
        assert len(server.requests(setup)) == 1
        messages = run.messages()
        assert any(m.startswith("Extract Partner package: ") for m in messages)
        assert "Partner package is empty." not in messages
        _, switches = setup_record.switches()
        assert switches["partner-package"].endswith("\\PartnerFile")
        # The partner build's own icon, byte for byte.
        assert ((installer.temp / "website.ico").read_bytes()
                == (source_dir / "testing/packages/data/website.ico").read_bytes())
        # A success hands the packages to the setup and forgets them.
        assert not (installer.temp / "PartnerFile").exists()
        assert not (installer.temp / "BrandFile").exists()


class TestSideFiles:
    def test_written_from_resources_and_passed_on(self, installer, server, archives,
                                                  setup_record, source_dir):
        serve(server, archives, "int")
        run = installer.run("--silent", env=setup_record.env)
        assert run.exit_code == 0, run.log
        _, switches = setup_record.switches()
        data = source_dir / PACKAGES / "data"
        for switch, name in [("installerdata", "master_preferences"),
                             ("clids-file", "clids.xml"),
                             ("clids-searchband-file", "clids_searchband.xml"),
                             ("tarnix-website-icon-file", "website.ico")]:
            assert switches[switch].endswith("\\" + name)
            written = installer.temp / name
            expected = (data / name).read_bytes() if (data / name).exists() else b""
            assert written.read_bytes() == expected, name
        # After a success the records go; the files stay for the setup.
        values = installer.registry_values()
        for name in ["InstallerData", "ClidsFile", "ClidsSearchbandFile",
                     "TarnixWebsiteIconFile", "brand", "BrandFile", "PartnerFile"]:
            assert name not in values
        assert values.get("lang")

    def test_failed_run_keeps_records_and_given_paths(self, installer, server, setup_record,
                                                      tmp_path, wine):
        given = wine.windows_path(tmp_path / "my-clids.xml")
        run = installer.run("--silent", f"--clids-file={given}", env=setup_record.env)
        assert run.exit_code == 401, run.log  # Nothing is served.
        assert not (installer.temp / "clids.xml").exists()
        assert (installer.temp / "master_preferences").exists()
        values = installer.registry_values()
        temp = wine.windows_path(installer.temp)
        assert values["ClidsFile"] == given
        assert values["InstallerData"].lower() == (temp + "\\master_preferences").lower()
        assert values["BrandFile"].lower() == (temp + "\\BrandFile").lower()
        assert values["brand"] == "int"
        assert "PartnerFile" not in values
        # The package is the embedded cabinet, byte for byte.
        assert (installer.temp / "BrandFile").read_bytes().startswith(b"MSCF")
