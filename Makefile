# The two entry points of the project (see README.md):
#   make test   installs what is missing, builds both widths and runs every test under Wine
#   make run    installs what is missing, builds the deliverables and assembles dist/Zupako/
SHELL := /bin/bash
JOBS ?= 2

.PHONY: all deps build test run clean

all: build

deps:
	tools/install-deps.sh

build: deps
	tools/build.sh

test: build
	tools/test-session.sh tools/run-tests.sh

run: build
	tools/assemble-dist.sh

clean:
	rm -rf build dist
