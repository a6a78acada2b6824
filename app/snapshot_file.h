// SPDX-License-Identifier: MIT
// Where a snapshot goes: "Wobblescope 2026-12-06 20-35-10.png" in the pictures folder, with " 2",
// " 3"... before the suffix where a file of that name exists already.
#pragma once

#include <QDateTime>
#include <QString>

QString snapshot_file_name(const QDateTime& when);
// A path in `folder` for a snapshot taken at `when` that names no existing file.
QString snapshot_path(const QString& folder, const QDateTime& when);
