#!/bin/bash
# The guest's process 1 once its root is the overlay: runs the scenario, keeps its output and
# exit code in the results folder, and powers the guest off.
cd /
OSTREL_SOURCE=$1 OSTREL_BUILD=$2 bash "$3" >/ostrel-results/output.log 2>&1
echo $? >/ostrel-results/exit
sync
echo o >/proc/sysrq-trigger
sleep 60  # process 1 must not end before the power goes
