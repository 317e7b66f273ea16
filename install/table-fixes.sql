-- Rows of the package that wixl 0.101 leaves out or writes otherwise, set on the built
-- package by scripts/package.sh: each query below runs through msitools' msibuild -q, in
-- this order; $(var.Version) stands for the package's version. Every query has its reason
-- above it.

-- Main cannot be left out (Absent="disallow" in the source): attribute 16.
UPDATE `Feature` SET `Attributes` = 16 WHERE `Feature` = 'Main'

-- The same version, rebuilt with a new product code, replaces the installed one instead of
-- installing beside it: attributes 513, migrate features (1) and maximum version inclusive
-- (512). The action property is the row's key, so the row is written anew.
DELETE FROM `Upgrade` WHERE `ActionProperty` = 'WIX_UPGRADE_DETECTED'
INSERT INTO `Upgrade` (`UpgradeCode`, `VersionMax`, `Attributes`, `ActionProperty`) VALUES ('{BA6A6611-4D34-4209-9B13-1BF6CFAA8D9F}', '$(var.Version)', 513, 'WIX_UPGRADE_DETECTED')

-- StartServiceAgain is a rollback action of the setup DLL that runs as LocalSystem and
-- whose result is ignored: 3393 (1 + 64 + 256 + 1024 + 2048). wixl leaves out the rollback
-- and in-script bits.
UPDATE `CustomAction` SET `Type` = 3393 WHERE `Action` = 'StartServiceAgain'

-- An installation that is not for all users, or runs without an administrator's rights,
-- ends with this error before anything is written: a type 19 action in the execute
-- sequence right after LaunchConditions (no launch condition may rest on Privileged).
-- wixl writes no type 19 action.
INSERT INTO `CustomAction` (`Action`, `Type`, `Target`) VALUES ('RefuseWithoutRights', 19, 'Nuvex Kelvaro installs for all users and needs the rights of an administrator: run msiexec from an elevated command prompt, or deploy it as SYSTEM.')
INSERT INTO `InstallExecuteSequence` (`Action`, `Condition`, `Sequence`) VALUES ('RefuseWithoutRights', 'NOT Privileged OR ALLUSERS <> 1', 101)
